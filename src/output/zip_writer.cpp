#include "output/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "engine/zip_format.h"
#include "engine/zlib_stream.h"
#include "output/zip_time.h"
#include "platform/ascii_case.h"
#include "platform/codepage.h"

namespace velmora {

namespace {

constexpr size_t kBufferSize = 16384;
// Bit 1 of a deflated entry: compressed at level 8 or 9 ("maximum").
constexpr uint16_t kFlagMaximum = 2;
constexpr int kDeflateLevel = 8;

size_t LocalExtraSize(const ZipEntryInfo& e) {
  return e.has_extra ? kZipLocalExtraSize : 0;
}
size_t CentralExtraSize(const ZipEntryInfo& e) {
  return e.has_extra ? kZipCentralExtraSize : 0;
}

std::vector<uint8_t> LocalHeader(const ZipEntryInfo& e) {
  std::vector<uint8_t> h(kZipLocalHeaderSize + e.name.size() + LocalExtraSize(e));
  uint8_t* p = h.data();
  StoreLe32(p + 0, kZipLocalHeaderSignature);
  StoreLe16(p + 4, e.version_needed);
  StoreLe16(p + 6, e.flags);
  StoreLe16(p + 8, e.method);
  StoreLe16(p + 10, e.dos_time);
  StoreLe16(p + 12, e.dos_date);
  StoreLe32(p + 14, e.crc32);
  StoreLe32(p + 18, e.compressed_size);
  StoreLe32(p + 22, e.uncompressed_size);
  StoreLe16(p + 26, static_cast<uint16_t>(e.name.size()));
  StoreLe16(p + 28, static_cast<uint16_t>(LocalExtraSize(e)));
  std::copy(e.name.begin(), e.name.end(), p + kZipLocalHeaderSize);
  std::copy_n(e.local_extra.begin(), LocalExtraSize(e), p + kZipLocalHeaderSize + e.name.size());
  return h;
}

void AppendCentralHeader(const ZipEntryInfo& e, std::vector<uint8_t>* out) {
  const size_t start = out->size();
  out->resize(start + kZipCentralHeaderSize + e.name.size() + CentralExtraSize(e));
  uint8_t* p = out->data() + start;
  StoreLe32(p + 0, kZipCentralHeaderSignature);
  StoreLe16(p + 4, e.version_made_by);
  StoreLe16(p + 6, e.version_needed);
  StoreLe16(p + 8, e.flags);
  StoreLe16(p + 10, e.method);
  StoreLe16(p + 12, e.dos_time);
  StoreLe16(p + 14, e.dos_date);
  StoreLe32(p + 16, e.crc32);
  StoreLe32(p + 20, e.compressed_size);
  StoreLe32(p + 24, e.uncompressed_size);
  StoreLe16(p + 28, static_cast<uint16_t>(e.name.size()));
  StoreLe16(p + 30, static_cast<uint16_t>(CentralExtraSize(e)));
  StoreLe16(p + 32, 0);  // comment length
  StoreLe16(p + 34, 0);  // disk number start
  StoreLe16(p + 36, e.internal_attributes);
  StoreLe32(p + 38, e.external_attributes);
  StoreLe32(p + 42, e.header_offset);
  std::copy(e.name.begin(), e.name.end(), p + kZipCentralHeaderSize);
  std::copy_n(e.central_extra.begin(), CentralExtraSize(e),
              p + kZipCentralHeaderSize + e.name.size());
}

// Looks at the DOS header in `head` (the first `got` bytes of the file) and follows its
// new-header offset (e_lfanew, at 0x3C) to a "PE", "NE", "LE" or "MZ" signature inside the
// file. A signature beyond `head` is read from the file, whose position then goes back to
// `got`; false with *ok = false when that fails to go back.
bool IsWindowsExecutable(const uint8_t* head, size_t got, platform::File& source, uint64_t size,
                         bool* ok) {
  *ok = true;
  if (size < 64 || got < 64 || head[0] != 'M' || head[1] != 'Z') return false;
  const uint64_t target = LoadLe32(head + 0x3C);
  if (target + 2 > size) return false;
  uint8_t sig[2];
  if (target + 2 <= got) {
    sig[0] = head[target];
    sig[1] = head[target + 1];
  } else {
    const bool read = source.Seek(target) && source.Read(sig, 2) == 2;
    *ok = source.Seek(got);
    if (!read) return false;
  }
  return (sig[0] == 'P' && sig[1] == 'E') || (sig[0] == 'N' && sig[1] == 'E') ||
         (sig[0] == 'L' && sig[1] == 'E') || (sig[0] == 'M' && sig[1] == 'Z');
}

void PutExtraFields(int64_t shift, const platform::FileInfo& info, ZipEntryInfo* e) {
  const uint32_t modified = ToExtraFieldTime(info.write_time + shift);
  uint8_t* p = e->local_extra.data();
  StoreLe16(p + 0, 0x5455);  // "UT"
  StoreLe16(p + 2, 13);
  p[4] = 0x07;  // modification, access and creation time present
  StoreLe32(p + 5, modified);
  StoreLe32(p + 9, ToExtraFieldTime(info.access_time + shift));
  StoreLe32(p + 13, ToExtraFieldTime(info.creation_time + shift));
  // The central form keeps the flags of the local one but carries the modification time only.
  p = e->central_extra.data();
  StoreLe16(p + 0, 0x5455);
  StoreLe16(p + 2, 5);
  p[4] = 0x07;
  StoreLe32(p + 5, modified);
}

}  // namespace

bool IsStoredSuffix(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view suffix = name.substr(dot);
  static constexpr std::string_view kStored[] = {".Z",   ".zip", ".zoo", ".arc",
                                                 ".lzh", ".arj", ".gz",  ".tgz"};
  for (std::string_view candidate : kStored) {
    if (platform::EqualsIgnoringAsciiCase(suffix, candidate)) return true;
  }
  return false;
}

uint32_t ZipExternalAttributes(uint32_t file_attributes, bool windows_executable) {
  const uint32_t kept = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem |
                        platform::kAttrDirectory | platform::kAttrArchive;
  uint32_t result = (file_attributes & kept) | 0x80000000u | 0x01000000u;
  if ((file_attributes & platform::kAttrReadOnly) == 0) result |= 0x00800000u;
  if (windows_executable) result |= 0x00400000u;
  return result;
}

ZipWriter::ZipWriter(ZipLimits limits, ChunkedDeflateOptions chunking)
    : limits_(limits), chunking_(chunking) {}

bool ZipWriter::CreateArchive(const std::wstring& path) {
  if (out_.IsOpen()) return false;
  out_ = platform::File::Create(path);
  if (!out_.IsOpen()) return false;
  written_ = 0;
  broken_ = false;
  entries_.clear();
  in_buffer_.resize(kBufferSize);
  out_buffer_.resize(kBufferSize);
  return true;
}

uint32_t ZipWriter::AddFile(const std::wstring& entry_name, const std::wstring& source_path,
                            ZipEntryForm form) {
  if (!out_.IsOpen()) return kZipBadArgument;
  ZipEntryInfo entry;
  if (!platform::ToAnsiCodePage(entry_name, &entry.name)) return kZipBadArgument;
  if (entry.name.empty() || entry.name.size() > 0xFFFF) return kZipBadArgument;
  std::replace(entry.name.begin(), entry.name.end(), '\\', '/');
  if (broken_) return kZipWriteFailed;
  if (entries_.size() >= limits_.max_entries) {
    broken_ = true;
    return kZipWriteFailed;
  }
  const bool bare = form == ZipEntryForm::kStoredBare;
  entry.method = bare || IsStoredSuffix(entry.name) ? kZipMethodStored : kZipMethodDeflate;
  entry.has_extra = !bare;

  platform::File source = platform::File::OpenRead(source_path, platform::Sharing::kRead);
  if (!source.IsOpen()) return kZipOpenFailed;
  platform::FileInfo info;
  if (!source.GetInfo(&info, source_path)) return kZipOpenFailed;
  // The first chunk is read now: the executable test looks at it, and the data starts with it.
  const int64_t first = source.Read(in_buffer_.data(), kBufferSize);
  if (first < 0) return kZipOpenFailed;
  pending_ = static_cast<size_t>(first);
  bool positioned = false;
  const bool executable =
      IsWindowsExecutable(in_buffer_.data(), pending_, source, info.size, &positioned);
  if (!positioned) return kZipOpenFailed;

  const int64_t shift = platform::LocalUtcOffsetNow();
  const DosDateTime dos = ToDosDateTime(info.write_time + shift);
  // Bit 3 marks the header until the real sizes and CRC are written over it; no descriptor is
  // ever written, so the bit never stays.
  entry.flags = kZipFlagDescriptor;
  entry.dos_time = dos.time;
  entry.dos_date = dos.date;
  const uint32_t declared = static_cast<uint32_t>(std::min<uint64_t>(info.size, 0xFFFFFFFF));
  entry.compressed_size = entry.method == kZipMethodStored ? declared : 0;
  entry.uncompressed_size = declared;
  entry.external_attributes = ZipExternalAttributes(info.attributes, executable);
  entry.header_offset = static_cast<uint32_t>(written_);
  PutExtraFields(shift, info, &entry);

  const std::vector<uint8_t> provisional = LocalHeader(entry);
  uint64_t header_bytes = 0;
  if (WriteOut(provisional.data(), provisional.size(), &header_bytes) != DataResult::kOk) {
    broken_ = true;
    return kZipWriteFailed;
  }
  written_ += header_bytes;

  uint32_t crc = crc32(0, nullptr, 0);
  uint64_t read = 0;
  uint64_t data_bytes = 0;
  const bool chunked = info.size >= uint64_t{chunking_.min_chunks} * chunking_.chunk_size;
  const DataResult data = entry.method == kZipMethodStored
                              ? CopyStored(source, &crc, &read, &data_bytes)
                          : chunked ? DeflateInChunks(source, &crc, &read, &data_bytes)
                                    : Deflate(source, &crc, &read, &data_bytes);
  source.Close();
  written_ += data_bytes;
  if (data == DataResult::kReadFailed) {
    // The source broke off while being read: leave its bytes where they are (later offsets stay
    // right) but wipe the header's signature, so that no reader that walks local headers takes
    // the unfinished entry for one.
    static constexpr uint8_t kZeros[4] = {};
    if (!out_.WriteAt(entry.header_offset, kZeros, sizeof kZeros)) {
      broken_ = true;
      return kZipWriteFailed;
    }
    return kZipOpenFailed;
  }
  if (data != DataResult::kOk) {
    broken_ = true;
    return kZipWriteFailed;
  }

  entry.flags = entry.method == kZipMethodDeflate ? kFlagMaximum : 0;
  entry.crc32 = crc;
  entry.compressed_size = static_cast<uint32_t>(data_bytes);
  entry.uncompressed_size = static_cast<uint32_t>(read);
  const std::vector<uint8_t> final_header = LocalHeader(entry);
  if (!out_.WriteAt(entry.header_offset, final_header.data(), final_header.size())) {
    broken_ = true;
    return kZipWriteFailed;
  }
  entries_.push_back(std::move(entry));
  return kZipOk;
}

ZipWriter::DataResult ZipWriter::WriteOut(const void* data, size_t size, uint64_t* counter) {
  if (written_ + *counter + size > limits_.max_archive_bytes) return DataResult::kTooLarge;
  if (!out_.Write(data, size)) return DataResult::kWriteFailed;
  *counter += size;
  return DataResult::kOk;
}

int64_t ZipWriter::ReadChunk(platform::File& source) {
  if (pending_ > 0) {
    const size_t n = pending_;
    pending_ = 0;
    return static_cast<int64_t>(n);
  }
  return source.Read(in_buffer_.data(), kBufferSize);
}

ZipWriter::DataResult ZipWriter::CopyStored(platform::File& source, uint32_t* crc, uint64_t* read,
                                            uint64_t* out) {
  for (;;) {
    const int64_t got = ReadChunk(source);
    if (got < 0) return DataResult::kReadFailed;
    if (got == 0) return DataResult::kOk;
    const size_t n = static_cast<size_t>(got);
    *crc = crc32_z(*crc, in_buffer_.data(), n);
    *read += n;
    if (*read > limits_.max_entry_bytes) return DataResult::kTooLarge;
    const DataResult written = WriteOut(in_buffer_.data(), n, out);
    if (written != DataResult::kOk) return written;
    // Read fills the buffer unless the file has ended.
    if (n < kBufferSize) return DataResult::kOk;
  }
}

ZipWriter::DataResult ZipWriter::Deflate(platform::File& source, uint32_t* crc, uint64_t* read,
                                         uint64_t* out) {
  ZlibStream stream;
  if (!stream.StartDeflate(kDeflateLevel)) return DataResult::kWriteFailed;
  z_stream* z = stream.get();
  bool finished = false;
  while (!finished) {
    const int64_t got = ReadChunk(source);
    if (got < 0) return DataResult::kReadFailed;
    const size_t n = static_cast<size_t>(got);
    *crc = crc32_z(*crc, in_buffer_.data(), n);
    *read += n;
    if (*read > limits_.max_entry_bytes) return DataResult::kTooLarge;
    // Read fills the buffer unless the file has ended, so a short chunk is the last one.
    const int flush = n < kBufferSize ? Z_FINISH : Z_NO_FLUSH;
    z->next_in = in_buffer_.data();
    z->avail_in = static_cast<uInt>(n);
    do {
      z->next_out = out_buffer_.data();
      z->avail_out = static_cast<uInt>(kBufferSize);
      const int rc = deflate(z, flush);
      if (rc == Z_STREAM_ERROR) return DataResult::kWriteFailed;
      const size_t have = kBufferSize - z->avail_out;
      if (have > 0) {
        const DataResult written = WriteOut(out_buffer_.data(), have, out);
        if (written != DataResult::kOk) return written;
      }
      if (rc == Z_STREAM_END) finished = true;
    } while (z->avail_out == 0);
  }
  return DataResult::kOk;
}

ZipWriter::DataResult ZipWriter::DeflateInChunks(platform::File& source, uint32_t* crc,
                                                 uint64_t* read, uint64_t* out) {
  bool too_large = false;
  const ChunkReader reader = [&](uint8_t* buffer, size_t size) -> int64_t {
    // The chunk starts with what AddFile read ahead, then goes on in the file.
    size_t given = std::min(pending_, size);
    std::memcpy(buffer, in_buffer_.data(), given);
    pending_ = 0;
    if (given < size) {
      const int64_t got = source.Read(buffer + given, size - given);
      if (got < 0) return -1;
      given += static_cast<size_t>(got);
    }
    *read += given;
    if (*read > limits_.max_entry_bytes) {
      too_large = true;
      return -1;
    }
    return static_cast<int64_t>(given);
  };
  DataResult written = DataResult::kOk;
  const ChunkWriter writer = [&](const uint8_t* data, size_t size) {
    written = WriteOut(data, size, out);
    return written == DataResult::kOk;
  };
  switch (velmora::DeflateInChunks(chunking_, kDeflateLevel, reader, writer, crc)) {
    case ChunkedDeflateResult::kOk:
      return DataResult::kOk;
    case ChunkedDeflateResult::kReadFailed:
      return too_large ? DataResult::kTooLarge : DataResult::kReadFailed;
    case ChunkedDeflateResult::kWriteFailed:
      return written;
    case ChunkedDeflateResult::kStopped:
    case ChunkedDeflateResult::kCompressFailed:
      break;
  }
  return DataResult::kWriteFailed;
}

uint32_t ZipWriter::CloseArchive() {
  if (!out_.IsOpen()) return kZipBadArgument;
  uint32_t result = broken_ ? kZipWriteFailed : kZipOk;
  if (result == kZipOk) {
    uint64_t directory_size = 0;
    for (const ZipEntryInfo& e : entries_) {
      directory_size += kZipCentralHeaderSize + e.name.size() + CentralExtraSize(e);
    }
    if (written_ + directory_size + kZipEndRecordSize > limits_.max_archive_bytes) {
      result = kZipWriteFailed;
    }
  }
  if (result == kZipOk) {
    const uint64_t directory_start = written_;
    std::vector<uint8_t> chunk;
    chunk.reserve(kBufferSize + 1024);
    for (size_t i = 0; i < entries_.size() && result == kZipOk; ++i) {
      AppendCentralHeader(entries_[i], &chunk);
      const bool last = i + 1 == entries_.size();
      if (chunk.size() >= kBufferSize || last) {
        if (!out_.Write(chunk.data(), chunk.size())) result = kZipWriteFailed;
        written_ += chunk.size();
        chunk.clear();
      }
    }
    if (result == kZipOk) {
      uint8_t end[kZipEndRecordSize] = {};
      const uint16_t count = static_cast<uint16_t>(entries_.size());
      StoreLe32(end + 0, kZipEndRecordSignature);
      StoreLe16(end + 8, count);
      StoreLe16(end + 10, count);
      StoreLe32(end + 12, static_cast<uint32_t>(written_ - directory_start));
      StoreLe32(end + 16, static_cast<uint32_t>(directory_start));
      if (!out_.Write(end, sizeof end)) result = kZipWriteFailed;
      written_ += sizeof end;
    }
  }
  out_.Close();
  entries_.clear();
  broken_ = false;
  return result;
}

}  // namespace velmora
