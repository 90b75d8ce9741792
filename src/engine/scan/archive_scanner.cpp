#include "engine/scan/archive_scanner.h"

#include <algorithm>
#include <atomic>
#include <vector>

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
  // The local header holds a zip64 extra field: a descriptor after the data holds 64-bit sizes.
  bool zip64 = false;
};

constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr uint16_t kZip64ExtraTag = 0x0001;

// A zip64 local header puts 0xFFFFFFFF in a size field and the size itself in the 0x0001 extra
// field (the uncompressed size first, then the compressed one). Sizes that fit 32 bits replace
// the markers; larger ones leave them, for the checks against the data to judge. Returns whether
// the header has such a field.
bool ReadZip64Extra(ScanBuffer& buffer, uint64_t extra_offset, uint16_t extra_length,
                    Sizes* sizes) {
  std::vector<uint8_t> extra(extra_length);
  buffer.Copy(extra_offset, extra.data(), extra.size());
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint16_t tag = LoadLe16(extra.data() + at);
    const size_t size = LoadLe16(extra.data() + at + 2);
    const uint8_t* field = extra.data() + at + 4;
    if (size > extra.size() - at - 4) break;
    at += 4 + size;
    if (tag != kZip64ExtraTag) continue;
    const auto load64 = [field](size_t k) {
      return static_cast<uint64_t>(LoadLe32(field + k)) |
             (static_cast<uint64_t>(LoadLe32(field + k + 4)) << 32);
    };
    // Both sizes when there is room for both, as a local header must have them; otherwise the
    // one whose field holds the marker.
    size_t k = 0;
    const bool both = size >= 16;
    if ((both || sizes->uncompressed == kZip64Marker) && k + 8 <= size) {
      const uint64_t value = load64(k);
      k += 8;
      if (sizes->uncompressed == kZip64Marker && value < kZip64Marker) {
        sizes->uncompressed = static_cast<uint32_t>(value);
      }
    }
    if ((both || sizes->compressed == kZip64Marker) && k + 8 <= size) {
      const uint64_t value = load64(k);
      if (sizes->compressed == kZip64Marker && value < kZip64Marker) {
        sizes->compressed = static_cast<uint32_t>(value);
      }
    }
    return true;
  }
  return false;
}

// Reads the signed data descriptor at `at` (a 64-bit one after a zip64 header): its CRC-32 and
// sizes. False when no descriptor is there or its sizes do not fit 32 bits.
bool ReadDescriptor(ScanBuffer& buffer, uint64_t at, bool zip64, uint32_t* crc,
                    uint32_t* compressed, uint32_t* uncompressed) {
  uint8_t d[24];
  buffer.Copy(at, d, zip64 ? 24 : 16);
  if (LoadLe32(d) != kZipDescriptorSignature) return false;
  *crc = LoadLe32(d + 4);
  if (!zip64) {
    *compressed = LoadLe32(d + 8);
    *uncompressed = LoadLe32(d + 12);
    return true;
  }
  if (LoadLe32(d + 12) != 0 || LoadLe32(d + 20) != 0) return false;
  *compressed = LoadLe32(d + 8);
  *uncompressed = LoadLe32(d + 16);
  return true;
}

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
  uint32_t crc = 0;
  uint32_t compressed = 0;
  uint32_t uncompressed = 0;
  if (!ReadDescriptor(buffer, at, sizes->zip64, &crc, &compressed, &uncompressed)) return;
  // Even when its sizes lie, a descriptor right where the data ends holds the entry's CRC-32.
  sizes->crc = crc;
  sizes->crc_from_descriptor = true;
  if (compressed == sizes->compressed && uncompressed == sizes->uncompressed) {
    sizes->source = RecoveredEntry::SizeSource::kDescriptor;
  }
}

// Sizes that do not fit the file are replaced by what the data shows: where its deflate stream
// ends, or, for a stored entry, where the next record begins. When the bytes do not tell (a
// broken stream, a file cut inside the data, another method) the sizes stay as they were.
// True when the data told where it ends.
bool CheckSizesAgainstData(ScanBuffer& buffer, const JobRunning& running, uint16_t flags,
                           uint16_t method, uint64_t data_offset, uint64_t* probe_budget,
                           Sizes* sizes) {
  uint32_t compressed = 0;
  uint32_t uncompressed = 0;
  if (method == kZipMethodDeflate) {
    const StreamEnd end = ProbeDeflateStream(buffer, running, data_offset, probe_budget);
    if (end.result != ProbeResult::kFound) return false;
    compressed = end.compressed;
    uncompressed = end.uncompressed;
  } else if (method == kZipMethodStored) {
    uint64_t at = 0;
    if (FindRecordAfterData(buffer, running, data_offset, (flags & kZipFlagDescriptor) != 0, &at) !=
            ProbeResult::kFound ||
        at - data_offset > UINT32_MAX) {
      return false;
    }
    compressed = uncompressed = static_cast<uint32_t>(at - data_offset);
  } else {
    return false;
  }
  if (compressed == sizes->compressed && uncompressed == sizes->uncompressed) return true;
  sizes->compressed = compressed;
  sizes->uncompressed = uncompressed;
  sizes->source = RecoveredEntry::SizeSource::kStream;
  sizes->crc_from_descriptor = false;
  TakeDescriptorAt(buffer, data_offset + compressed, sizes);
  return true;
}

// The CRC-32 of a stored entry's data of `length` bytes, or of what a deflated entry's stream
// inflates to; false when the bytes do not tell.
bool CrcOfData(ScanBuffer& buffer, const JobRunning& running, uint16_t method, uint64_t data_offset,
               uint32_t length, uint64_t* probe_budget, uint32_t* crc) {
  if (method == kZipMethodStored) {
    return CrcOfBytes(buffer, running, data_offset, length, probe_budget, crc) ==
           ProbeResult::kFound;
  }
  if (method != kZipMethodDeflate) return false;
  const StreamEnd end = ProbeDeflateStream(buffer, running, data_offset, probe_budget);
  if (end.result != ProbeResult::kFound) return false;
  *crc = end.crc;
  return true;
}

// A stored entry's two sizes must be equal. When they differ (a flipped bit), the one whose
// bytes give the CRC-32 wins; without a CRC-32 to tell, the one whose end is where the next
// record begins; failing both, the next record says where the data ends.
void ResolveStoredSizes(ScanBuffer& buffer, const JobRunning& running, uint16_t flags,
                        uint64_t data_offset, bool crc_known, uint64_t* probe_budget,
                        Sizes* sizes) {
  const uint32_t candidates[] = {sizes->compressed, sizes->uncompressed};
  int fitting = 0;
  uint32_t fit = 0;
  for (const uint32_t size : candidates) {
    if (size == 0 || data_offset + size > buffer.length()) continue;
    Sizes trial = *sizes;
    trial.compressed = trial.uncompressed = size;
    if (crc_known) {
      uint32_t crc = 0;
      if (CrcOfData(buffer, running, kZipMethodStored, data_offset, size, probe_budget, &crc) &&
          crc == sizes->crc) {
        sizes->compressed = sizes->uncompressed = size;
        sizes->source = RecoveredEntry::SizeSource::kStream;
        return;
      }
    }
    if (SizesFit(buffer, flags, kZipMethodStored, data_offset, trial)) {
      ++fitting;
      fit = size;
    }
  }
  if (fitting == 1) {
    sizes->compressed = sizes->uncompressed = fit;
    sizes->source = RecoveredEntry::SizeSource::kStream;
    return;
  }
  uint64_t at = 0;
  if (FindRecordAfterData(buffer, running, data_offset, (flags & kZipFlagDescriptor) != 0, &at) ==
          ProbeResult::kFound &&
      at - data_offset <= UINT32_MAX) {
    sizes->compressed = sizes->uncompressed = static_cast<uint32_t>(at - data_offset);
    sizes->source = RecoveredEntry::SizeSource::kStream;
  }
}

// A header with flag bit 3 whose writer knew the CRC-32 and sizes all the same puts them in the
// header too, and a descriptor after the data. Every CRC-32 offered counts: the header's when it
// is not 0, the descriptor's at the end of the data; when they differ, the one the data gives.
void ResolveDescriptorCrc(ScanBuffer& buffer, const JobRunning& running, uint16_t method,
                          uint64_t data_offset, uint32_t header_crc, uint64_t* probe_budget,
                          Sizes* sizes) {
  uint32_t descriptor_crc = 0;
  uint32_t compressed = 0;
  uint32_t uncompressed = 0;
  const bool descriptor = ReadDescriptor(buffer, data_offset + sizes->compressed, sizes->zip64,
                                         &descriptor_crc, &compressed, &uncompressed);
  if (descriptor) {
    sizes->crc_from_descriptor = true;
    sizes->crc = descriptor_crc;
  }
  if (header_crc == 0 || (descriptor && header_crc == descriptor_crc)) return;
  // A header CRC-32 that no descriptor backs is believed when the data gives it.
  uint32_t data_crc = 0;
  if (CrcOfData(buffer, running, method, data_offset, sizes->compressed, probe_budget, &data_crc) &&
      data_crc == header_crc) {
    sizes->crc = header_crc;
    sizes->crc_from_descriptor = true;  // known, from the header
  }
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
  const uint32_t header_crc = sizes.crc;
  sizes.compressed = LoadLe32(fields + 14);
  sizes.uncompressed = LoadLe32(fields + 18);
  const uint16_t name_length = LoadLe16(fields + 22);
  const uint16_t extra_length = LoadLe16(fields + 24);
  const bool bit3 = (flags & kZipFlagDescriptor) != 0;

  // Only the first 1023 name bytes can reach the record.
  uint8_t name_bytes[kMaxNameLength];
  const size_t kept = std::min<size_t>(name_length, kMaxNameLength);
  buffer.Copy(signature + kZipLocalHeaderSize, name_bytes, kept);
  // Reads stop at the end of the file, so a cut-off header leaves the position there.
  const uint64_t after_name =
      std::min(signature + kZipLocalHeaderSize + name_length, buffer.length());
  sizes.zip64 = ReadZip64Extra(buffer, after_name, extra_length, &sizes);

  if (sizes.compressed == 0 && sizes.uncompressed == 0 && method == kZipMethodDeflate &&
      after_name < buffer.length()) {
    // Written with a data descriptor: the sizes follow the data. The search starts 3 bytes
    // back, like every pass of the scan.
    uint64_t at = 0;
    if (FindSignature<true>(buffer, running, after_name - 3, &at) == Found::kDescriptor) {
      uint32_t crc = 0;
      uint32_t compressed = 0;
      uint32_t uncompressed = 0;
      // One that gives no sizes either leaves the entry as if none had been found.
      if (ReadDescriptor(buffer, at, sizes.zip64, &crc, &compressed, &uncompressed) &&
          (compressed != 0 || uncompressed != 0)) {
        sizes.crc = crc;
        sizes.compressed = compressed;
        sizes.uncompressed = uncompressed;
        sizes.source = RecoveredEntry::SizeSource::kDescriptor;
        sizes.crc_from_descriptor = true;
      }
    }
  }
  const uint64_t data_offset = after_name + extra_length;

  bool streamed_empty = false;
  if (sizes.compressed == 0 && sizes.uncompressed == 0 && method == kZipMethodStored && bit3 &&
      data_offset < buffer.length()) {
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
      streamed_empty = at == data_offset;
    }
  }

  if (method == kZipMethodStored && sizes.compressed != sizes.uncompressed) {
    const bool crc_known = !bit3 || header_crc != 0;
    if (bit3 && header_crc == 0) {
      // The descriptor holds the CRC-32 (after either size: try both ends).
      for (const uint32_t size : {sizes.compressed, sizes.uncompressed}) {
        uint32_t crc = 0;
        uint32_t c = 0;
        uint32_t u = 0;
        if (ReadDescriptor(buffer, data_offset + size, sizes.zip64, &crc, &c, &u)) {
          sizes.crc = crc;
          sizes.crc_from_descriptor = true;
          break;
        }
      }
    }
    ResolveStoredSizes(buffer, running, flags, data_offset, crc_known || sizes.crc_from_descriptor,
                       probe_budget, &sizes);
  }

  bool attach = false;
  bool unconfirmed = false;
  if (sizes.compressed == 0 && sizes.uncompressed == 0) {
    // A deflated entry whose sizes are nowhere (its file was cut before the descriptor) is kept
    // for an inflate that runs until the stream breaks. A stored one is a folder, or an empty
    // file (a template's, say), which the package holds as much as any other part: kept when
    // its header says so (no bit 3, or the descriptor right after it) and its CRC-32 is that of
    // no bytes. The next window starts 3 bytes before the data, which the scan then walks
    // through.
    if (method == kZipMethodDeflate && data_offset < buffer.length()) {
      sizes.source = RecoveredEntry::SizeSource::kNone;
      attach = true;
    } else if (method == kZipMethodStored && sizes.crc == 0 && (!bit3 || streamed_empty) &&
               kept != 0 && name_bytes[kept - 1] != '/' && data_offset <= buffer.length()) {
      attach = true;
    }
  } else {
    // Sizes that do not fit belong to a damaged entry, and what the data then says may run past
    // real entries too (a hole that took this entry's end and the next header with it, whose
    // zeros a stream decodes on through): the scan walks such an entry's data rather than
    // jumping over it, so that the intact headers inside are entries too.
    if (!SizesFit(buffer, flags, method, data_offset, sizes)) {
      CheckSizesAgainstData(buffer, running, flags, method, data_offset, probe_budget, &sizes);
      unconfirmed = true;
    }
    if (bit3 && sizes.source == RecoveredEntry::SizeSource::kHeader) {
      ResolveDescriptorCrc(buffer, running, method, data_offset, header_crc, probe_budget, &sizes);
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
  entry.crc_known = sizes.crc_from_descriptor || !bit3;
  entry.size_source = sizes.source;
  if (attach && !entry.name.empty()) found(entry);
  return unconfirmed ? data_offset : data_offset + sizes.compressed;
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
