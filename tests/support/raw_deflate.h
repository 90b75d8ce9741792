// Raw DEFLATE streams (no zlib or gzip header, 32 KiB window) as package writers store entry
// data, made and read back with zlib for the tests.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::test {

// The data as one raw stream at `level`. `flush` Z_FINISH ends the stream; Z_FULL_FLUSH or
// Z_SYNC_FLUSH leave it open on a byte boundary, so that more blocks could follow.
std::string RawDeflate(std::string_view data, int level = 6, int flush = Z_FINISH);

struct Inflated {
  std::string data;     // what zlib gave before the stream ended, broke or ran out
  size_t consumed = 0;  // stream bytes it used
  bool ended = false;   // the stream's end was reached (within `limit` bytes of output)
};
// Inflates the raw stream at the start of `stream`, giving at most `limit` bytes.
Inflated RawInflate(std::string_view stream, size_t limit);

}  // namespace velmora::test
