// The scanner's view of a damaged file: random access through one read buffer of fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace velmora {

// Bytes at or past the end of the file read as zero, as the fields of a header cut off by the
// end of the file do. A read error ends the file where the readable bytes end, so the scan
// stops there instead of stepping over bytes it never saw.
class ScanBuffer {
 public:
  // `capacity` is the size of the one buffer (at least 4, so a whole 4-byte window always
  // fits); `length` is the file length the scan works to.
  ScanBuffer(platform::File& file, uint64_t length, size_t capacity);

  uint64_t length() const { return length_; }

  // The buffered bytes from `position` on, and in *count how many there are. Refills when
  // fewer than 4 are buffered and the file has more; *count < 4 only near the end of the
  // file (0 at or past it).
  const uint8_t* Span(uint64_t position, size_t* count);

  // Copies n bytes from `position` into `out`; bytes past the end come out as zero.
  void Copy(uint64_t position, uint8_t* out, size_t n);

 private:
  // Makes the buffer start at `position`. Bytes already buffered from there on are kept, so a
  // window that straddles the buffer's end is not read twice.
  void Fill(uint64_t position);

  platform::File& file_;
  uint64_t length_;
  std::vector<uint8_t> data_;
  uint64_t start_ = 0;  // file position of data_[0]
  uint64_t end_ = 0;    // file position just past the last buffered byte
  uint64_t file_position_ = 0;
};

}  // namespace velmora
