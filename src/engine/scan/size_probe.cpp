#include "engine/scan/size_probe.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "engine/zip_format.h"
#include "engine/zlib_stream.h"

namespace velmora {
namespace {

// Inflated bytes land here and are thrown away; only their count matters.
constexpr size_t kDiscardSize = 32 * 1024;
constexpr uint64_t kMaxSize = std::numeric_limits<uint32_t>::max();

bool Stopped(const JobRunning& running) {
  return running.load(std::memory_order_relaxed) == 0;
}

}  // namespace

StreamEnd ProbeDeflateStream(ScanBuffer& buffer, const JobRunning& running, uint64_t data_offset,
                             uint64_t* budget) {
  StreamEnd end;
  ZlibStream stream;
  std::unique_ptr<uint8_t[]> discard(new (std::nothrow) uint8_t[kDiscardSize]);
  if (!stream.StartInflate() || !discard) return end;
  z_stream& z = *stream.get();
  uint64_t position = data_offset;
  uint64_t produced = 0;
  for (;;) {
    if (Stopped(running)) {
      end.result = ProbeResult::kStopped;
      return end;
    }
    size_t count = 0;
    const uint8_t* bytes = buffer.Span(position, &count);
    if (count == 0) return end;  // the file ends inside the stream
    size_t offered = std::min(count, kProbeStep);
    if (budget != nullptr) {
      if (*budget == 0) return end;
      offered = static_cast<size_t>(std::min<uint64_t>(offered, *budget));
    }
    // zlib does not write through next_in; its declaration just lacks the const.
    z.next_in = const_cast<Bytef*>(bytes);
    z.avail_in = static_cast<uInt>(offered);
    z.next_out = discard.get();
    z.avail_out = static_cast<uInt>(kDiscardSize);
    const int status = inflate(&z, Z_NO_FLUSH);
    position += offered - z.avail_in;
    if (budget != nullptr) *budget -= offered - z.avail_in;
    produced += kDiscardSize - z.avail_out;
    if (produced > kMaxSize) return end;
    end.crc = static_cast<uint32_t>(
        crc32(end.crc, discard.get(), static_cast<uInt>(kDiscardSize - z.avail_out)));
    if (status == Z_STREAM_END) {
      // zlib hands back the bytes it did not need, so the stream's length is exact.
      if (position - data_offset > kMaxSize) return end;
      end.result = ProbeResult::kFound;
      end.compressed = static_cast<uint32_t>(position - data_offset);
      end.uncompressed = static_cast<uint32_t>(produced);
      return end;
    }
    if (status != Z_OK) return end;  // not DEFLATE data (or no progress)
  }
}

ProbeResult CrcOfBytes(ScanBuffer& buffer, const JobRunning& running, uint64_t from,
                       uint64_t length, uint64_t* budget, uint32_t* crc) {
  uint32_t value = 0;
  const uint64_t end = from + length;
  if (end > buffer.length()) return ProbeResult::kNotFound;
  while (from < end) {
    if (Stopped(running)) return ProbeResult::kStopped;
    size_t count = 0;
    const uint8_t* bytes = buffer.Span(from, &count);
    if (count == 0) return ProbeResult::kNotFound;
    size_t n = static_cast<size_t>(std::min<uint64_t>({count, end - from, kProbeStep}));
    if (budget != nullptr) {
      if (*budget == 0) return ProbeResult::kNotFound;
      n = static_cast<size_t>(std::min<uint64_t>(n, *budget));
      *budget -= n;
    }
    value = static_cast<uint32_t>(crc32(value, bytes, static_cast<uInt>(n)));
    from += n;
  }
  *crc = value;
  return ProbeResult::kFound;
}

bool IsRecordAfterData(const uint8_t* bytes, bool descriptor) {
  const uint32_t signature = LoadLe32(bytes);
  return signature == kZipLocalHeaderSignature || signature == kZipCentralHeaderSignature ||
         signature == kZipEndRecordSignature ||
         (descriptor && signature == kZipDescriptorSignature);
}

ProbeResult FindRecordAfterData(ScanBuffer& buffer, const JobRunning& running, uint64_t from,
                                bool descriptor, uint64_t* at) {
  uint64_t window = from;
  while (window < buffer.length() && buffer.length() - window >= 4) {
    if (Stopped(running)) return ProbeResult::kStopped;
    size_t count = 0;
    const uint8_t* bytes = buffer.Span(window, &count);
    if (count < 4) break;
    const size_t windows = std::min(count - 3, kProbeStep);
    // Windows i < windows read bytes up to i + 3, all within the span.
    for (size_t i = 0; i < windows; ++i) {
      const void* p = std::memchr(bytes + i, 'P', windows - i);
      if (p == nullptr) break;
      i = static_cast<size_t>(static_cast<const uint8_t*>(p) - bytes);
      if (IsRecordAfterData(bytes + i, descriptor)) {
        *at = window + i;
        return ProbeResult::kFound;
      }
    }
    window += windows;
  }
  return ProbeResult::kNotFound;
}

ProbeResult FindStoredDescriptor(ScanBuffer& buffer, const JobRunning& running,
                                 uint64_t data_offset, uint64_t* budget, uint64_t* at,
                                 uint32_t* crc) {
  // crc_end: the bytes [data_offset, crc_end) are in `running_crc`.
  uint32_t running_crc = 0;
  uint64_t crc_end = data_offset;
  uint64_t from = data_offset;
  for (;;) {
    uint64_t found = 0;
    const ProbeResult result = FindRecordAfterData(buffer, running, from, true, &found);
    if (result != ProbeResult::kFound) return result;
    uint8_t record[16];
    buffer.Copy(found, record, sizeof record);
    if (LoadLe32(record) != kZipDescriptorSignature) return ProbeResult::kNotFound;
    const uint64_t distance = found - data_offset;
    if (distance > kMaxSize) return ProbeResult::kNotFound;
    while (crc_end < found) {
      if (Stopped(running)) return ProbeResult::kStopped;
      size_t count = 0;
      const uint8_t* bytes = buffer.Span(crc_end, &count);
      if (count == 0) return ProbeResult::kNotFound;
      size_t n = static_cast<size_t>(std::min<uint64_t>({count, found - crc_end, kProbeStep}));
      if (budget != nullptr) {
        if (*budget == 0) return ProbeResult::kNotFound;
        n = static_cast<size_t>(std::min<uint64_t>(n, *budget));
        *budget -= n;
      }
      running_crc = static_cast<uint32_t>(crc32(running_crc, bytes, static_cast<uInt>(n)));
      crc_end += n;
    }
    if (LoadLe32(record + 8) == distance && LoadLe32(record + 12) == distance &&
        LoadLe32(record + 4) == running_crc) {
      *at = found;
      *crc = running_crc;
      return ProbeResult::kFound;
    }
    from = found + 1;
  }
}

}  // namespace velmora
