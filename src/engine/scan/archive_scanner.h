// The damaged-archive scanner: finds the ZIP local headers of a damaged file byte by byte,
// never trusting the central directory, and turns each usable one into a RecoveredEntry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/job/job_running.h"
#include "engine/scan/entry_time.h"
#include "engine/scan/recovered_entry.h"
#include "platform/platform.h"

namespace velmora {

// The scanner's one read buffer. Memory use is this, whatever sizes a damaged header claims.
inline constexpr size_t kScanBufferSize = size_t{1} << 20;

// The scan itself, without a window; ScanArchive (repair_steps.h), the benchmarks and the tests
// use it.
//
// Every 4-byte window of the file is tested for "PK\3\4", from offset 0 one byte at a time,
// and `running` is read before each window: the scan ends at the first window that finds it 0.
// At a local header the fields are read in file order; fields past the end read as zero. The
// name is its bytes up to the first zero byte, each byte widened to the code unit of the same
// value, with "/" turned into "\"; it is cut to 1023 characters. A deflated entry (method 8)
// with both sizes 0 takes its CRC-32 and sizes from the first signed data descriptor
// "PK\7\8" found by a search whose windows start 3 bytes before the end of the name; the search
// gives up at the next "PK\3\4", at the end of the file or on a stop (a descriptor that gives
// both sizes 0 counts as none). One whose sizes are
// found nowhere is passed on with both sizes 0 and size_source kNone, so that its data can be
// inflated until the stream breaks, when it has at least one byte of data and a name. A stored
// entry with flag bit 3 and both sizes 0 (a streaming writer's) ends at the first signed
// descriptor whose sizes equal its distance from the data and whose CRC-32 is that of the
// bytes before it, unless another record comes first (FindStoredDescriptor); without one it is
// dropped like a folder.
//
// Sizes are believed when the claimed end of the data (data offset plus compressed size) is
// exactly the end of the file or the start of a record that follows entry data ("PK\3\4",
// "PK\1\2", "PK\5\6", or "PK\7\8" for a bit-3 header or descriptor sizes), and a bit-3
// deflated header does not claim compressed bytes with an uncompressed size of 0. Otherwise
// the data says where it ends: a deflated entry's stream is inflated to its end, a stored
// entry ends at the next such record. When that differs from the sizes, the record takes it
// (size_source kStream, or kDescriptor when a signed descriptor with the same sizes follows)
// and the scan goes on from there. When the bytes cannot tell (broken stream, file cut inside
// the data, another method) the sizes stay. Entries whose sizes fit cost no extra reads; a
// probe reads at most to the end of the file, with zlib's window and a small buffer, and reads
// `running` at least every 64 KiB.
//
// Sizes of 0xFFFFFFFF are taken from the header's zip64 extra field (tag 0x0001, uncompressed
// size first) when they fit 32 bits; after such a header a descriptor holds 64-bit sizes. A
// stored entry whose two sizes differ takes the one whose bytes give its CRC-32, else the one
// whose end a record follows, else the distance to the next record. A bit-3 header with sizes
// and a CRC-32 of its own gets a known CRC-32: the descriptor's at the end of its data, or the
// header's when no descriptor is there or when the data gives the header's.
//
// Other entries are passed to `found` when one of their sizes is not 0 and their name is not
// empty. Stored directories are not; a stored empty file is (sizes 0, CRC-32 0, no bit 3 or its
// descriptor right after the header), since the package holds it like any other part. The data
// offset is just past the extra field; the next window starts 3 bytes before the end of the entry's
// data, which may lie past the end of the file and so end the scan.
//
// The file is read through one buffer of `buffer_size` bytes (at least 4); every size gives the
// same entries. A read error ends the scan as if the file ended there.
void ScanFile(platform::File& file, uint64_t length, const JobRunning& running,
              const std::function<void(const RecoveredEntry&)>& found,
              size_t buffer_size = kScanBufferSize);

}  // namespace velmora
