#include "engine/scan/archive_scanner.h"

#include <algorithm>
#include <atomic>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/scan/scan_buffer.h"
#include "engine/scan/size_probe.h"
#include "engine/zip_format.h"

namespace velmora {
namespace {

constexpr size_t kMaxNameLength = 1023;

// The local header's fields from the version to the extra length, just after the signature.
constexpr size_t kFieldsSize = kZipLocalHeaderSize - 4;

enum class Found { kLocalHeader, kDescriptor, kStopped, kEnd };

#if defined(__SSE2__)
constexpr size_t kBlock = 16;

// Bit i is set when the window at bytes + i holds "PK\3\4" (or "PK\7\8" when
// kDescriptorToo); reads bytes[0 .. 18].
template <bool kDescriptorToo>
unsigned MatchBlock(const uint8_t* bytes) {
  const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 1));
  const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2));
  const __m128i b3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 3));
  const __m128i pk =
      _mm_and_si128(_mm_cmpeq_epi8(b0, _mm_set1_epi8('P')), _mm_cmpeq_epi8(b1, _mm_set1_epi8('K')));
  __m128i tail =
      _mm_and_si128(_mm_cmpeq_epi8(b2, _mm_set1_epi8(3)), _mm_cmpeq_epi8(b3, _mm_set1_epi8(4)));
  if (kDescriptorToo) {
    tail = _mm_or_si128(tail, _mm_and_si128(_mm_cmpeq_epi8(b2, _mm_set1_epi8(7)),
                                            _mm_cmpeq_epi8(b3, _mm_set1_epi8(8))));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(pk, tail)));
}

// True when every one of kBlock reads of the flag gives "go on": the flag is still read once
// per window, only ahead of the block's compares.
bool RunningForBlock(const JobRunning& running) {
#pragma GCC unroll 16
  for (size_t i = 0; i < kBlock; ++i) {
    if (running.load(std::memory_order_relaxed) == 0) return false;
  }
  return true;
}
#endif

// Tests the windows at `from`, `from` + 1, ... for "PK\3\4" (and "PK\7\8" when
// kDescriptorToo), reading `running` before each one. *at is the window that matched.
// This loop is what every byte of the file costs: it works on the buffer itself, and where
// SSE2 is there it compares 16 windows at once.
template <bool kDescriptorToo>
Found FindSignature(ScanBuffer& buffer, const JobRunning& running, uint64_t from, uint64_t* at) {
  uint64_t window = from;
  while (window < buffer.length() && buffer.length() - window >= 4) {
    size_t count = 0;
    const uint8_t* bytes = buffer.Span(window, &count);
    if (count < 4) return Found::kEnd;
    const size_t windows = count - 3;
    size_t i = 0;
#if defined(__SSE2__)
    // A stop seen in a block sends the block to the byte-by-byte loop below, which reads the
    // flag again before each window, so no window past the stop is tested.
    for (; i + kBlock <= windows && RunningForBlock(running); i += kBlock) {
      const unsigned mask = MatchBlock<kDescriptorToo>(bytes + i);
      if (mask != 0) {
        i += static_cast<size_t>(__builtin_ctz(mask));
        *at = window + i;
        return LoadLe32(bytes + i) == kZipLocalHeaderSignature ? Found::kLocalHeader
                                                               : Found::kDescriptor;
      }
    }
#endif
    for (; i < windows; ++i) {
      if (running.load(std::memory_order_relaxed) == 0) return Found::kStopped;
      const uint32_t value = LoadLe32(bytes + i);
      if (value == kZipLocalHeaderSignature) {
        *at = window + i;
        return Found::kLocalHeader;
      }
      if (kDescriptorToo && value == kZipDescriptorSignature) {
        *at = window + i;
        return Found::kDescriptor;
      }
    }
    window += windows;
  }
  return Found::kEnd;
}

std::wstring NameFromBytes(const uint8_t* bytes, size_t n) {
  std::wstring name;
  for (size_t i = 0; i < n && bytes[i] != 0; ++i) {
    name.push_back(bytes[i] == '/' ? L'\\' : static_cast<wchar_t>(bytes[i]));
  }
  return name;
}

struct Sizes {
  uint32_t compressed = 0;
  uint32_t uncompressed = 0;
  uint32_t crc = 0;
  RecoveredEntry::SizeSource source = RecoveredEntry::SizeSource::kHeader;
  bool crc_from_descriptor = false;
};

// True when the sizes fit the bytes: the claimed end of the data is exactly the end of the file,
// or a record that may follow an entry's data begins there. A bit-3 deflated header that claims
// compressed bytes but an uncompressed size of 0 does not fit either: such a writer put 0 in
// both, and one of them has had a bit flipped.
bool SizesFit(ScanBuffer& buffer, uint16_t flags, uint16_t method, uint64_t data_offset,
              const Sizes& sizes) {
  const bool descriptor =
      (flags & kZipFlagDescriptor) != 0 || sizes.source == RecoveredEntry::SizeSource::kDescriptor;
  if (method == kZipMethodDeflate && (flags & kZipFlagDescriptor) != 0 &&
      sizes.source == RecoveredEntry::SizeSource::kHeader && sizes.uncompressed == 0 &&
      sizes.compressed != 0) {
    return false;
  }
  const uint64_t end = data_offset + sizes.compressed;
  if (end > buffer.length()) return false;
  if (end == buffer.length()) return true;
  // Read from 3 bytes back, where the scan's next window starts, so that a refill lands there
  // and that window finds its bytes already buffered (end >= 30: it lies past a whole header).
  uint8_t around[7];
  buffer.Copy(end - 3, around, sizeof around);
  return IsRecordAfterData(around + 3, descriptor);
}

// A signed data descriptor at `at` with the given sizes gives the entry its CRC-32.
void TakeDescriptorAt(ScanBuffer& buffer, uint64_t at, Sizes* sizes) {
  uint8_t descriptor[16];
  buffer.Copy(at, descriptor, sizeof descriptor);
  if (LoadLe32(descriptor) != kZipDescriptorSignature) return;
  // Even when its sizes lie, a descriptor right where the data ends holds the entry's CRC-32.
  sizes->crc = LoadLe32(descriptor + 4);
  sizes->crc_from_descriptor = true;
  if (LoadLe32(descriptor + 8) == sizes->compressed &&
      LoadLe32(descriptor + 12) == sizes->uncompressed) {
    sizes->source = RecoveredEntry::SizeSource::kDescriptor;
  }
}

// Sizes that do not fit the file are replaced by what the data shows: where its deflate stream
// ends, or, for a stored entry, where the next record begins. When the bytes do not tell (a
// broken stream, a file cut inside the data, another method) the sizes stay as they were.
void CheckSizesAgainstData(ScanBuffer& buffer, const JobRunning& running, uint16_t flags,
                           uint16_t method, uint64_t data_offset, uint64_t* probe_budget,
                           Sizes* sizes) {
  uint32_t compressed = 0;
  uint32_t uncompressed = 0;
  if (method == kZipMethodDeflate) {
    const StreamEnd end = ProbeDeflateStream(buffer, running, data_offset, probe_budget);
    if (end.result != ProbeResult::kFound) return;
    compressed = end.compressed;
    uncompressed = end.uncompressed;
  } else if (method == kZipMethodStored) {
    uint64_t at = 0;
    if (FindRecordAfterData(buffer, running, data_offset, (flags & kZipFlagDescriptor) != 0, &at) !=
            ProbeResult::kFound ||
        at - data_offset > UINT32_MAX) {
      return;
    }
    compressed = uncompressed = static_cast<uint32_t>(at - data_offset);
  } else {
    return;
  }
  if (compressed == sizes->compressed && uncompressed == sizes->uncompressed) return;
  sizes->compressed = compressed;
  sizes->uncompressed = uncompressed;
  sizes->source = RecoveredEntry::SizeSource::kStream;
  sizes->crc_from_descriptor = false;
  TakeDescriptorAt(buffer, data_offset + compressed, sizes);
}

// Reads the local header whose signature is at `signature`. Returns the position just past the
// entry's data, which may lie past the end of the file.
uint64_t ParseEntry(ScanBuffer& buffer, const JobRunning& running, uint64_t signature,
                    uint64_t* probe_budget,
                    const std::function<void(const RecoveredEntry&)>& found) {
  uint8_t fields[kFieldsSize];
  buffer.Copy(signature + 4, fields, kFieldsSize);
  const uint16_t flags = LoadLe16(fields + 2);
  const uint16_t method = LoadLe16(fields + 4);
  const uint16_t time = LoadLe16(fields + 6);
  const uint16_t date = LoadLe16(fields + 8);
  Sizes sizes;
  sizes.crc = LoadLe32(fields + 10);
  sizes.compressed = LoadLe32(fields + 14);
  sizes.uncompressed = LoadLe32(fields + 18);
  const uint16_t name_length = LoadLe16(fields + 22);
  const uint16_t extra_length = LoadLe16(fields + 24);

  // Only the first 1023 name bytes can reach the record.
  uint8_t name_bytes[kMaxNameLength];
  const size_t kept = std::min<size_t>(name_length, kMaxNameLength);
  buffer.Copy(signature + kZipLocalHeaderSize, name_bytes, kept);
  // Reads stop at the end of the file, so a cut-off header leaves the position there.
  const uint64_t after_name =
      std::min(signature + kZipLocalHeaderSize + name_length, buffer.length());

  if (sizes.compressed == 0 && sizes.uncompressed == 0 && method == kZipMethodDeflate &&
      after_name < buffer.length()) {
    // Written with a data descriptor: the sizes follow the data. The search starts 3 bytes
    // back, like every pass of the scan.
    uint64_t at = 0;
    if (FindSignature<true>(buffer, running, after_name - 3, &at) == Found::kDescriptor) {
      uint8_t descriptor[12];
      buffer.Copy(at + 4, descriptor, sizeof descriptor);
      // One that gives no sizes either leaves the entry as if none had been found.
      if (LoadLe32(descriptor + 4) != 0 || LoadLe32(descriptor + 8) != 0) {
        sizes.crc = LoadLe32(descriptor);
        sizes.compressed = LoadLe32(descriptor + 4);
        sizes.uncompressed = LoadLe32(descriptor + 8);
        sizes.source = RecoveredEntry::SizeSource::kDescriptor;
        sizes.crc_from_descriptor = true;
      }
    }
  }
  const uint64_t data_offset = after_name + extra_length;

  if (sizes.compressed == 0 && sizes.uncompressed == 0 && method == kZipMethodStored &&
      (flags & kZipFlagDescriptor) != 0 && data_offset < buffer.length()) {
    // A streaming writer's stored entry: it did not know the sizes when it wrote the header.
    // Its data ends at the descriptor that agrees with the bytes before it.
    uint64_t at = 0;
    uint32_t crc = 0;
    if (FindStoredDescriptor(buffer, running, data_offset, probe_budget, &at, &crc) ==
        ProbeResult::kFound) {
      sizes.compressed = sizes.uncompressed = static_cast<uint32_t>(at - data_offset);
      sizes.crc = crc;
      sizes.source = RecoveredEntry::SizeSource::kDescriptor;
      sizes.crc_from_descriptor = true;
    }
  }

  bool attach = false;
  if (sizes.compressed == 0 && sizes.uncompressed == 0) {
    // A deflated entry whose sizes are nowhere (its file was cut before the descriptor) is kept
    // for an inflate that runs until the stream breaks. Stored ones are directories and empty
    // files. The next window starts 3 bytes before the data, which the scan then walks through.
    if (method == kZipMethodDeflate && data_offset < buffer.length()) {
      sizes.source = RecoveredEntry::SizeSource::kNone;
      attach = true;
    }
  } else {
    if (!SizesFit(buffer, flags, method, data_offset, sizes)) {
      CheckSizesAgainstData(buffer, running, flags, method, data_offset, probe_budget, &sizes);
    }
    attach = sizes.compressed != 0 || sizes.uncompressed != 0;
  }

  RecoveredEntry entry;
  entry.time_text = FormatEntryTime(date, time);
  entry.compressed_size = sizes.compressed;
  entry.uncompressed_size = sizes.uncompressed;
  entry.name = NameFromBytes(name_bytes, kept);
  entry.data_offset = data_offset;
  entry.method = method;
  entry.crc32 = sizes.crc;
  entry.header_offset = signature;
  entry.flags = flags;
  // A writer that sets bit 3 writes the header before it knows the CRC-32, and puts 0 there.
  entry.crc_known = sizes.crc_from_descriptor || (flags & kZipFlagDescriptor) == 0;
  entry.size_source = sizes.source;
  if (attach && !entry.name.empty()) found(entry);
  return data_offset + sizes.compressed;
}

}  // namespace

void ScanFile(platform::File& file, uint64_t length, const JobRunning& running,
              const std::function<void(const RecoveredEntry&)>& found, size_t buffer_size) {
  // A file smaller than the buffer needs no more than its own length.
  ScanBuffer buffer(file, length, static_cast<size_t>(std::min<uint64_t>(buffer_size, length)));
  uint64_t window = 0;
  uint64_t at = 0;
  // The deflate streams probed for their sizes read at most twice the file in all. The real
  // streams of a package do not overlap, so together they need the file once at most; only
  // headers crafted to send every probe on to the end of the file run out.
  uint64_t probe_budget = 2 * length + kProbeStep;
  while (FindSignature<false>(buffer, running, window, &at) == Found::kLocalHeader) {
    const uint64_t end = ParseEntry(buffer, running, at, &probe_budget, found);
    // Like every pass of the scan, the next one steps back 3 bytes: its window starts 3 bytes
    // before the end of the entry's data.
    if (end >= buffer.length()) break;
    window = end - 3;
  }
}

}  // namespace velmora
