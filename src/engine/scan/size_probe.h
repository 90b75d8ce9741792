// What an entry's own bytes say about where its data ends, for a local header whose sizes do
// not fit the file (a flipped bit, a lying descriptor). The scanner asks only then: entries
// whose sizes fit cost nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/job/job_running.h"
#include "engine/scan/scan_buffer.h"

namespace velmora {

// The stop flag is read at least this often (in bytes of input) while probing.
inline constexpr size_t kProbeStep = 64 * 1024;

enum class ProbeResult {
  kFound,     // the end was found
  kNotFound,  // the bytes do not tell: a broken stream, or the file ends first
  kStopped,   // JobRunning was cleared
};

struct StreamEnd {
  ProbeResult result = ProbeResult::kNotFound;
  uint32_t compressed = 0;    // bytes from the data offset to the end of the stream
  uint32_t uncompressed = 0;  // bytes the stream inflates to
  uint32_t crc = 0;           // CRC-32 of what it inflates to
};

// Inflates the raw DEFLATE stream that starts at `data_offset`, discarding the output, up to its
// final block. kNotFound when the stream breaks, the file ends inside it, or either size does
// not fit 32 bits. Memory is zlib's state and window and one small output buffer; time is at
// most the bytes up to the end of the file.
//
// `budget`, when given, is the input that probes may still read, shared by all the probes of
// one scan: each takes off what it reads and gives up (kNotFound) once none is left. Without
// it, a file of many headers whose sizes do not fit, each followed by a stream that runs on to
// the end of the file, costs one pass over the rest of the file per header: time growing with
// the square of the file's size.
StreamEnd ProbeDeflateStream(ScanBuffer& buffer, const JobRunning& running, uint64_t data_offset,
                             uint64_t* budget = nullptr);

// The CRC-32 of the `length` bytes from `from` on (kFound), read `kProbeStep` at a time and taken
// off `budget` when given; kNotFound when the file ends first or the budget runs out.
ProbeResult CrcOfBytes(ScanBuffer& buffer, const JobRunning& running, uint64_t from,
                       uint64_t length, uint64_t* budget, uint32_t* crc);

// True when the 4 bytes are a record that may follow an entry's data: a local header "PK\3\4",
// a central header "PK\1\2", the end record "PK\5\6", or, when `descriptor`, a data descriptor
// "PK\7\8".
bool IsRecordAfterData(const uint8_t* bytes, bool descriptor);

// The first window at or after `from` that IsRecordAfterData accepts: where a stored entry's
// data ends when its size cannot be believed. *at is set on kFound.
ProbeResult FindRecordAfterData(ScanBuffer& buffer, const JobRunning& running, uint64_t from,
                                bool descriptor, uint64_t* at);

// Where a stored entry written by a streaming writer ends: its local header has flag bit 3 and
// sizes 0, and a signed data descriptor follows its data. The data runs from `data_offset` to
// the first descriptor whose two sizes both equal that distance and whose CRC-32 is that of the
// bytes before it; a descriptor that does not fit is taken for data and the search goes on, and
// it ends without a find at the next other record (local or central header, end record), so it
// never reads past the next entry. *at is the descriptor's position and *crc its CRC-32 on
// kFound. The CRC-32 is computed as the search goes, so the bytes are read once; `budget`, when
// given, is shared with the stream probes.
ProbeResult FindStoredDescriptor(ScanBuffer& buffer, const JobRunning& running,
                                 uint64_t data_offset, uint64_t* budget, uint64_t* at,
                                 uint32_t* crc);

}  // namespace velmora
