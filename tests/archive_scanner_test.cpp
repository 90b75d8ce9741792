// The damaged-archive scanner: the records it finds in crafted files, the buffered scan against
// a byte-by-byte model of the scan with tiny buffers, the log lines of ScanArchive, the entry
// time text, and real archives written by zip and Python's zipfile.
#include "engine/scan/archive_scanner.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "engine/job/repair_steps.h"
#include "platform/platform.h"
#include "support/command.h"
#include "support/raw_deflate.h"
#include "support/recording_window.h"
#include "support/scratch.h"
#include "support/time_zone.h"

namespace velmora {
namespace {

using test::RawDeflate;
using test::RecordingWindow;

// ---- Fixture bytes ---------------------------------------------------------------------------

void PutLe16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void PutLe32(std::string& out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kDate = 0x3D70;  // 2010-11-16
constexpr uint16_t kTime = 0x74B7;  // 14:37:46
const std::wstring kTimeText = L"Tuesday, November 16, 2010 02:37:46 PM ";

struct Header {
  uint16_t method = kStored;
  uint16_t flags = 0;
  uint32_t crc = 0x11223344;
  uint32_t compressed = 0;
  uint32_t uncompressed = 0;
  std::string name = {};
  std::string extra = {};
  int name_length = -1;  // the name's own length unless set
};

// A local header: signature, fields, name and extra field (the data is up to the caller).
std::string LocalHeader(const Header& h) {
  std::string out = "PK\x03\x04";
  PutLe16(out, 20);  // version needed
  PutLe16(out, h.flags);
  PutLe16(out, h.method);
  PutLe16(out, kTime);
  PutLe16(out, kDate);
  PutLe32(out, h.crc);
  PutLe32(out, h.compressed);
  PutLe32(out, h.uncompressed);
  PutLe16(out, h.name_length >= 0 ? static_cast<uint32_t>(h.name_length)
                                  : static_cast<uint32_t>(h.name.size()));
  PutLe16(out, static_cast<uint32_t>(h.extra.size()));
  return out + h.name + h.extra;
}

std::string Descriptor(uint32_t crc, uint32_t compressed, uint32_t uncompressed) {
  std::string out = "PK\x07\x08";
  PutLe32(out, crc);
  PutLe32(out, compressed);
  PutLe32(out, uncompressed);
  return out;
}

// ---- Files -------------------------------------------------------------------------------------

class TempFile {
 public:
  explicit TempFile(const std::string& bytes)
      : path_(platform::CreateTempFile(platform::TempFolder(), L"VST")) {
    platform::File file = platform::File::Create(path_);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.Write(bytes.data(), bytes.size()));
  }
  ~TempFile() { platform::RemoveFile(path_); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

std::vector<RecoveredEntry> ScanPath(const std::wstring& path, size_t buffer_size) {
  std::vector<RecoveredEntry> found;
  const JobRunning running{1};
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kNone);
  EXPECT_TRUE(file.IsOpen());
  ScanFile(
      file, static_cast<uint64_t>(file.Size()), running,
      [&found](const RecoveredEntry& entry) { found.push_back(entry); }, buffer_size);
  return found;
}

std::vector<RecoveredEntry> ScanBytes(const std::string& bytes,
                                      size_t buffer_size = kScanBufferSize) {
  TempFile file(bytes);
  return ScanPath(file.path(), buffer_size);
}

// ---- The byte-by-byte model --------------------------------------------------------------------

// The scan as its plain description goes: one seek and one small read per byte position, plain
// reads of the header fields in file order (bytes past the end read as zero and do not move the
// position), and relative moves that may pass the end.
class ModelFile {
 public:
  explicit ModelFile(const std::string& bytes) : bytes_(bytes) {}
  uint64_t length() const { return bytes_.size(); }
  uint64_t position = 0;

  void Read(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      out[i] = position < bytes_.size() ? static_cast<uint8_t>(bytes_[position++]) : 0;
    }
  }
  uint32_t Read16() {
    uint8_t b[2];
    Read(b, 2);
    return b[0] | (b[1] << 8);
  }
  uint32_t Read32() {
    uint8_t b[4];
    Read(b, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
  }

 private:
  const std::string& bytes_;
};

bool Is(const uint8_t* window, char a, char b, char c, char d) {
  return window[0] == static_cast<uint8_t>(a) && window[1] == static_cast<uint8_t>(b) &&
         window[2] == static_cast<uint8_t>(c) && window[3] == static_cast<uint8_t>(d);
}

using Source = RecoveredEntry::SizeSource;

bool IsAt(const std::string& bytes, uint64_t at, char a, char b, char c, char d) {
  return at + 4 <= bytes.size() &&
         Is(reinterpret_cast<const uint8_t*>(bytes.data()) + at, a, b, c, d);
}

// A record that may follow an entry's data: a local or central header, the end record, and a
// data descriptor when `descriptor`.
bool IsRecordAfterDataAt(const std::string& bytes, uint64_t at, bool descriptor) {
  return IsAt(bytes, at, 'P', 'K', 3, 4) || IsAt(bytes, at, 'P', 'K', 1, 2) ||
         IsAt(bytes, at, 'P', 'K', 5, 6) || (descriptor && IsAt(bytes, at, 'P', 'K', 7, 8));
}

// Where the deflate stream at `data_offset` ends, the plain way: the whole rest of the file
// handed to zlib at once.
bool ModelStreamEnd(const std::string& bytes, uint64_t data_offset, uint32_t* compressed,
                    uint32_t* uncompressed, uint32_t* crc = nullptr) {
  uLong output_crc = 0;
  if (data_offset >= bytes.size()) return false;
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  const size_t available = bytes.size() - static_cast<size_t>(data_offset);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + data_offset));
  z.avail_in = static_cast<uInt>(available);
  std::vector<uint8_t> out(1 << 16);
  uint64_t produced = 0;
  int result = Z_OK;
  while (result == Z_OK && produced <= UINT32_MAX) {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    result = inflate(&z, Z_NO_FLUSH);
    produced += out.size() - z.avail_out;
    output_crc = crc32(output_crc, out.data(), static_cast<uInt>(out.size() - z.avail_out));
  }
  const uint64_t consumed = available - z.avail_in;
  inflateEnd(&z);
  if (result != Z_STREAM_END || produced > UINT32_MAX || consumed > UINT32_MAX) return false;
  if (compressed != nullptr) *compressed = static_cast<uint32_t>(consumed);
  if (uncompressed != nullptr) *uncompressed = static_cast<uint32_t>(produced);
  if (crc != nullptr) *crc = static_cast<uint32_t>(output_crc);
  return true;
}

std::vector<RecoveredEntry> ModelScan(const std::string& bytes) {
  std::vector<RecoveredEntry> found;
  ModelFile file(bytes);
  const uint64_t length = file.length();
  while (file.position < length) {
    // Every pass but the first steps back 3 from where the last read ended, so the windows are
    // 0, 1, 2, ... and, after an entry, the one 3 bytes before the end of its data.
    if (file.position >= 4) file.position -= 3;
    const uint64_t signature = file.position;
    uint8_t window[4];
    file.Read(window, 4);
    if (!Is(window, 'P', 'K', 3, 4)) continue;

    file.Read16();  // version
    const uint32_t flags = file.Read16();
    const uint32_t method = file.Read16();
    const uint32_t time = file.Read16();
    const uint32_t date = file.Read16();
    uint32_t crc = file.Read32();
    uint32_t compressed = file.Read32();
    uint32_t uncompressed = file.Read32();
    const uint32_t name_length = file.Read16();
    const uint32_t extra_length = file.Read16();
    std::vector<uint8_t> name(name_length + 2, 0);
    file.Read(name.data(), name_length);
    const uint32_t header_crc = crc;
    const bool bit3 = (flags & 8) != 0;
    // A zip64 extra field (tag 1): 64-bit sizes for the fields that hold 0xFFFFFFFF.
    bool zip64 = false;
    {
      const uint64_t kept = file.position;
      uint64_t at = file.position;
      const uint64_t end = at + extra_length;
      while (at + 4 <= end && !zip64) {
        file.position = at;
        const uint32_t tag = file.Read16();
        const uint32_t size = file.Read16();
        if (at + 4 + size > end) break;
        if (tag == 1) {
          zip64 = true;
          const bool both = size >= 16;
          uint32_t k = 0;
          for (uint32_t* field : {&uncompressed, &compressed}) {
            if ((both || *field == 0xFFFFFFFF) && k + 8 <= size) {
              const uint32_t low = file.Read32();
              const uint32_t high = file.Read32();
              k += 8;
              if (*field == 0xFFFFFFFF && high == 0 && low != 0xFFFFFFFF) *field = low;
            }
          }
        }
        at += 4 + size;
      }
      file.position = kept;
    }
    // A descriptor at `at`: its CRC-32 and sizes (64-bit ones after a zip64 header).
    const auto descriptor_at = [&](uint64_t at, uint32_t* d_crc, uint32_t* d_c, uint32_t* d_u) {
      if (!IsAt(bytes, at, 'P', 'K', 7, 8)) return false;
      const uint64_t kept = file.position;
      file.position = at + 4;
      *d_crc = file.Read32();
      *d_c = file.Read32();
      const uint32_t c_high = zip64 ? file.Read32() : 0;
      *d_u = file.Read32();
      const uint32_t u_high = zip64 ? file.Read32() : 0;
      file.position = kept;
      return c_high == 0 && u_high == 0;
    };
    const auto data_crc = [&](uint64_t from, uint64_t n) {
      return static_cast<uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + from), static_cast<uInt>(n)));
    };

    Source source = Source::kHeader;
    bool crc_from_descriptor = false;
    if (compressed == 0 && uncompressed == 0 && method == 8) {
      const uint64_t remembered = file.position;
      while (file.position < length) {
        if (file.position > 4) file.position -= 3;
        file.Read(window, 4);
        if (Is(window, 'P', 'K', 3, 4)) break;
        if (Is(window, 'P', 'K', 7, 8)) {
          uint32_t descriptor_crc = 0;
          uint32_t descriptor_compressed = 0;
          uint32_t descriptor_uncompressed = 0;
          if (descriptor_at(file.position - 4, &descriptor_crc, &descriptor_compressed,
                            &descriptor_uncompressed) &&
              (descriptor_compressed != 0 || descriptor_uncompressed != 0)) {
            crc = descriptor_crc;
            compressed = descriptor_compressed;
            uncompressed = descriptor_uncompressed;
            source = Source::kDescriptor;
            crc_from_descriptor = true;
          }
          break;
        }
      }
      file.position = remembered;
    }

    // A stored bit-3 header with sizes 0: the data ends at the first descriptor whose sizes are
    // its distance and whose CRC-32 is that of the bytes before it; any other record first ends
    // the search.
    const uint64_t data_start = std::min<uint64_t>(file.position, length) + extra_length;
    bool streamed_empty = false;
    if (compressed == 0 && uncompressed == 0 && method == 0 && (flags & 8) != 0 &&
        data_start < length) {
      for (uint64_t p = data_start; p + 4 <= length; ++p) {
        if (!IsRecordAfterDataAt(bytes, p, true)) continue;
        if (!IsAt(bytes, p, 'P', 'K', 7, 8)) break;
        const uint64_t distance = p - data_start;
        const uint32_t data_crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + data_start),
                  static_cast<uInt>(distance)));
        const uint64_t kept = file.position;
        file.position = p + 4;
        const uint32_t d_crc = file.Read32();
        const uint32_t d_compressed = file.Read32();
        const uint32_t d_uncompressed = file.Read32();
        file.position = kept;
        if (d_compressed == distance && d_uncompressed == distance && d_crc == data_crc) {
          compressed = uncompressed = static_cast<uint32_t>(distance);
          crc = data_crc;
          source = Source::kDescriptor;
          crc_from_descriptor = true;
          streamed_empty = distance == 0;
          break;
        }
      }
    }

    // A stored entry's two sizes differ: the one whose bytes give the CRC-32 (the header's, or
    // with bit 3 and a 0 there a descriptor's at either end), else the only one a record
    // follows, else the distance to the next record.
    if (method == 0 && compressed != uncompressed) {
      bool crc_known = !bit3 || header_crc != 0;
      if (bit3 && header_crc == 0) {
        for (const uint32_t size : {compressed, uncompressed}) {
          uint32_t d_crc = 0, d_c = 0, d_u = 0;
          if (data_start + size <= length && descriptor_at(data_start + size, &d_crc, &d_c, &d_u)) {
            crc = d_crc;
            crc_from_descriptor = crc_known = true;
            break;
          }
        }
      }
      bool done = false;
      int fitting = 0;
      uint32_t fit = 0;
      for (const uint32_t size : {compressed, uncompressed}) {
        if (size == 0 || data_start + size > length) continue;
        if (crc_known && data_crc(data_start, size) == crc) {
          compressed = uncompressed = size;
          done = true;
          break;
        }
        const uint64_t end = data_start + size;
        if (end == length || IsRecordAfterDataAt(bytes, end, bit3)) {
          ++fitting;
          fit = size;
        }
      }
      if (!done && fitting == 1) {
        compressed = uncompressed = fit;
        done = true;
      }
      if (!done) {
        for (uint64_t p = data_start; p + 4 <= length; ++p) {
          if (IsRecordAfterDataAt(bytes, p, bit3)) {
            compressed = uncompressed = static_cast<uint32_t>(p - data_start);
            done = true;
            break;
          }
        }
      }
      if (done) source = Source::kStream;
    }

    RecoveredEntry entry;
    entry.time_text = FormatEntryTime(static_cast<uint16_t>(date), static_cast<uint16_t>(time));
    for (size_t i = 0; name[i] != 0 && entry.name.size() < 1023; ++i) {
      entry.name.push_back(name[i] == '/' ? L'\\' : static_cast<wchar_t>(name[i]));
    }
    entry.method = static_cast<uint16_t>(method);
    entry.header_offset = signature;
    entry.flags = static_cast<uint16_t>(flags);
    file.position += extra_length;
    entry.data_offset = file.position;

    bool attach = false;
    bool unconfirmed = false;
    if (compressed == 0 && uncompressed == 0) {
      if (method == 8 && entry.data_offset < length) {
        source = Source::kNone;
        attach = true;
      } else if (method == 0 && crc == 0 && (!bit3 || streamed_empty) && name_length != 0 &&
                 name[std::min<uint32_t>(name_length, 1023) - 1] != '/' &&
                 entry.data_offset <= length) {
        attach = true;  // an empty file
      }
    } else {
      const uint64_t end = entry.data_offset + compressed;
      bool fits = false;
      if (method == 8 && bit3 && source == Source::kHeader && uncompressed == 0) {
        fits = false;
      } else if (end == length) {
        fits = true;
      } else if (end < length) {
        fits = IsRecordAfterDataAt(bytes, end, bit3 || source == Source::kDescriptor);
      }
      uint32_t real_compressed = 0;
      uint32_t real_uncompressed = 0;
      bool known = false;
      if (!fits && method == 8) {
        known = ModelStreamEnd(bytes, entry.data_offset, &real_compressed, &real_uncompressed);
      } else if (!fits && method == 0) {
        for (uint64_t p = entry.data_offset; p + 4 <= length; ++p) {
          if (IsRecordAfterDataAt(bytes, p, bit3)) {
            real_compressed = real_uncompressed = static_cast<uint32_t>(p - entry.data_offset);
            known = true;
            break;
          }
        }
      }
      unconfirmed = !fits;
      if (known && (real_compressed != compressed || real_uncompressed != uncompressed)) {
        compressed = real_compressed;
        uncompressed = real_uncompressed;
        source = Source::kStream;
        crc_from_descriptor = false;
        uint32_t d_crc = 0, d_c = 0, d_u = 0;
        if (descriptor_at(entry.data_offset + compressed, &d_crc, &d_c, &d_u)) {
          crc = d_crc;
          crc_from_descriptor = true;
          if (d_c == compressed && d_u == uncompressed) source = Source::kDescriptor;
        }
      }
      // Bit 3 with sizes in the header: the descriptor at the end of the data gives the CRC-32;
      // the header's, when not 0 and not the descriptor's, counts when the data gives it.
      if (bit3 && source == Source::kHeader) {
        uint32_t d_crc = 0, d_c = 0, d_u = 0;
        const bool descriptor = descriptor_at(entry.data_offset + compressed, &d_crc, &d_c, &d_u);
        if (descriptor) {
          crc = d_crc;
          crc_from_descriptor = true;
        }
        if (header_crc != 0 && !(descriptor && header_crc == d_crc)) {
          uint32_t given = 0;
          bool have = false;
          if (method == 0 && entry.data_offset + compressed <= length) {
            given = data_crc(entry.data_offset, compressed);
            have = true;
          } else if (method == 8) {
            have = ModelStreamEnd(bytes, entry.data_offset, nullptr, nullptr, &given);
          }
          if (have && given == header_crc) {
            crc = header_crc;
            crc_from_descriptor = true;
          }
        }
      }
      attach = compressed != 0 || uncompressed != 0;
    }
    entry.compressed_size = compressed;
    entry.uncompressed_size = uncompressed;
    entry.crc32 = crc;
    entry.crc_known = crc_from_descriptor || (flags & 8) == 0;
    entry.size_source = source;
    if (compressed != 0 && !unconfirmed) file.position += compressed;
    if (attach && !entry.name.empty()) found.push_back(entry);
  }
  return found;
}

// One line per record, every field, so a mismatch shows what differs.
std::string Describe(const RecoveredEntry& e) {
  std::string name = {};
  for (wchar_t c : e.name) {
    if (c >= 0x20 && c < 0x7F) {
      name.push_back(static_cast<char>(c));
    } else {
      char hex[12];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
      name += hex;
    }
  }
  char line[200];
  std::snprintf(
      line, sizeof line,
      " c=%u u=%u data=%llu header=%llu method=%u flags=%04X crc=%08X%s source=%d time=%zu",
      e.compressed_size, e.uncompressed_size, static_cast<unsigned long long>(e.data_offset),
      static_cast<unsigned long long>(e.header_offset), e.method, e.flags, e.crc32,
      e.crc_known ? "" : "?", static_cast<int>(e.size_source), e.time_text.size());
  return "'" + name + "'" + line;
}

std::vector<std::string> Describe(const std::vector<RecoveredEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(Describe(e));
  return out;
}

// Buffer sizes that put windows, headers, names and descriptors across buffer edges.
const size_t kTinyBuffers[] = {4, 5, 6, 7, 8, 9, 11, 13, 16, 17, 19, 20, 23, 31, 32, 35, 64};

// The buffered scanner, at every tiny buffer size and the real one, must give the model's
// records.
template <typename Sizes = decltype(kTinyBuffers)>
void ExpectSameAsModel(const std::string& bytes, const std::string& label,
                       const Sizes& buffer_sizes = kTinyBuffers) {
  const std::vector<std::string> expected = Describe(ModelScan(bytes));
  TempFile file(bytes);
  for (size_t size : buffer_sizes) {
    ASSERT_EQ(Describe(ScanPath(file.path(), size)), expected) << label << ", buffer " << size;
  }
  ASSERT_EQ(Describe(ScanPath(file.path(), kScanBufferSize)), expected) << label;
}

// ---- Records of crafted files ------------------------------------------------------------------

struct Expected {
  std::wstring name;
  uint32_t compressed;
  uint32_t uncompressed;
  uint64_t data_offset;
  uint64_t header_offset;
  Source source = Source::kHeader;
};

struct RecordCase {
  const char* label;
  std::string bytes;
  std::vector<Expected> expected;
};

std::vector<RecordCase> RecordCases() {
  const std::string a = LocalHeader({.compressed = 5, .uncompressed = 5, .name = "a.txt"});
  const std::string b = LocalHeader({.compressed = 2, .uncompressed = 2, .name = "b"});
  const std::string deflated_with_descriptor =
      LocalHeader({.method = kDeflated, .name = "content.xml", .extra = "EXTRA"});
  const std::string long_name(2000, 'n');
  std::string big_extra(70, 'e');
  const auto crc = [](const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  };
  const std::string streamed = LocalHeader({.flags = 8, .crc = 0, .name = "s"});
  const std::string fake = Descriptor(crc("hel"), 3, 3).replace(4, 1, "\x55", 1);
  return {
      {"stored by a streaming writer (bit 3, sizes 0): the data ends at the descriptor that "
       "agrees with it",
       streamed + "hello" + Descriptor(crc("hello"), 5, 5) + b + "hi",
       {{L"s", 5, 5, 31, 0, Source::kDescriptor}, {L"b", 2, 2, 83, 52}}},
      {"stored by a streaming writer: a descriptor inside the data whose CRC-32 does not agree "
       "is data",
       streamed + "hel" + fake + "lo" + Descriptor(crc("hel" + fake + "lo"), 21, 21) + b + "hi",
       {{L"s", 21, 21, 31, 0, Source::kDescriptor}, {L"b", 2, 2, 99, 68}}},
      {"stored by a streaming writer: no descriptor agrees before the next header, so no record",
       streamed + "hello" + Descriptor(crc("hello") ^ 1, 5, 5) + b + "hi",
       {{L"b", 2, 2, 83, 52}}},
      {"stored by a streaming writer: a folder (descriptor of sizes 0) gives no record",
       LocalHeader({.flags = 8, .crc = 0, .name = "Pictures/"}) + Descriptor(0, 0, 0) + b + "hi",
       {{L"b", 2, 2, 86, 55}}},
      {"a header at 0 and one directly after the first entry's data",
       a + "hello" + b + "hi",
       {{L"a.txt", 5, 5, 35, 0}, {L"b", 2, 2, 71, 40}}},
      {"a header at offset 1", "x" + b + "hi", {{L"b", 2, 2, 32, 1}}},
      {"a header at offset 2", "xy" + b + "hi", {{L"b", 2, 2, 33, 2}}},
      {"a header at offset 3", "xyz" + b + "hi", {{L"b", 2, 2, 34, 3}}},
      {"a header at offset 4", "wxyz" + b + "hi", {{L"b", 2, 2, 35, 4}}},
      {"deflated, sizes 0, signed descriptor: the descriptor's sizes, data after the extra field",
       deflated_with_descriptor + "0123456789" + Descriptor(0xCAFEF00D, 10, 99) + b + "hi",
       {{L"content.xml", 10, 99, 46, 0, Source::kDescriptor}, {L"b", 2, 2, 103, 72}}},
      {"deflated, sizes 0, no descriptor before the next header: sizes found nowhere, and the "
       "scan goes on through its data",
       deflated_with_descriptor + "0123456789" + b + "hi",
       {{L"content.xml", 0, 0, 46, 0, Source::kNone}, {L"b", 2, 2, 87, 56}}},
      {"deflated, sizes 0, no descriptor before the end: sizes found nowhere",
       deflated_with_descriptor + "0123456789",
       {{L"content.xml", 0, 0, 46, 0, Source::kNone}}},
      {"deflated, sizes 0, the header ends at the end of the file: no data, no record",
       deflated_with_descriptor,
       {}},
      {"a descriptor without its signature is not found",
       deflated_with_descriptor + "0123456789" + Descriptor(1, 10, 99).substr(4),
       {{L"content.xml", 0, 0, 46, 0, Source::kNone}}},
      {"a descriptor that gives sizes 0 is no descriptor",
       deflated_with_descriptor + "0123456789" + Descriptor(1, 0, 0),
       {{L"content.xml", 0, 0, 46, 0, Source::kNone}}},
      {"stored, sizes 0 (a directory): no record",
       LocalHeader({.name = "Pictures/"}) + b + "hi",
       {{L"b", 2, 2, 70, 39}}},
      {"compressed size 0, uncompressed size 5: attached",
       LocalHeader({.compressed = 0, .uncompressed = 5, .name = "z"}),
       {{L"z", 0, 5, 31, 0}}},
      {"a slash becomes a backslash",
       LocalHeader({.compressed = 1, .uncompressed = 1, .name = "Pictures/a.png"}) + "x",
       {{L"Pictures\\a.png", 1, 1, 44, 0}}},
      {"name bytes are widened one byte to one character",
       LocalHeader({.compressed = 1, .uncompressed = 1, .name = "\xC3\xA9.xml"}) + "x",
       {{L"\u00C3\u00A9.xml", 1, 1, 36, 0}}},
      {"a name ends at its first zero byte",
       LocalHeader({.compressed = 1, .uncompressed = 1, .name = std::string("ab\0cd", 5)}) + "x",
       {{L"ab", 1, 1, 35, 0}}},
      {"a name that starts with a zero byte is empty: no record",
       LocalHeader({.compressed = 1, .uncompressed = 1, .name = std::string("\0cd", 3)}) + "x",
       {}},
      {"a name longer than 1023 characters is cut",
       LocalHeader({.compressed = 1, .uncompressed = 1, .name = long_name}) + "x",
       {{std::wstring(1023, L'n'), 1, 1, 2030, 0}}},
      {"a header cut off in its name: the name read so far, data offset at the end",
       LocalHeader({.compressed = 7, .uncompressed = 7, .name = "abcd", .name_length = 10}),
       {{L"abcd", 7, 7, 34, 0}}},
      {"a header cut off in its name with an extra field claimed: data offset past the end",
       LocalHeader({.compressed = 7, .uncompressed = 7, .name = "abcd", .name_length = 10})
           .replace(28, 2, "\x05\x00", 2),
       {{L"abcd", 7, 7, 39, 0}}},
      {"a header cut off in its sizes: no record", a.substr(0, 20), {}},
      {"a stored header claiming a huge compressed size is bounded by the next header",
       LocalHeader({.compressed = 0xFFFFFFF0, .uncompressed = 1, .name = "big"}) + "data" + b +
           "hi",
       {{L"big", 4, 4, 33, 0, Source::kStream}, {L"b", 2, 2, 68, 37}}},
      {"a stored header claiming a huge compressed size with no record after it ends the scan",
       LocalHeader({.compressed = 0xFFFFFFF0, .uncompressed = 1, .name = "big"}) + "data",
       {{L"big", 0xFFFFFFF0, 1, 33, 0}}},
      {"the next window starts 3 bytes before the end of the data (a method whose data says "
       "nothing about its length)",
       LocalHeader({.method = 12, .compressed = 3, .uncompressed = 3, .name = "s"}) + b + "hi",
       {{L"s", 3, 3, 31, 0}, {L"b", 2, 2, 62, 31}}},
      {"a stored entry whose claimed data begins with the next header has none",
       LocalHeader({.compressed = 3, .uncompressed = 3, .name = "s"}) + b + "hi",
       {{L"b", 2, 2, 62, 31}}},
      {"stored data claimed longer than it is: bounded by the next header, which is found",
       LocalHeader({.compressed = 5, .uncompressed = 5, .name = "s"}) + "hel" + b + "hi",
       {{L"s", 3, 3, 31, 0, Source::kStream}, {L"b", 2, 2, 65, 34}}},
      {"stored data claimed shorter than it is: bounded by the next header",
       LocalHeader({.compressed = 2, .uncompressed = 2, .name = "s"}) + "hello" + b + "hi",
       {{L"s", 5, 5, 31, 0, Source::kStream}, {L"b", 2, 2, 67, 36}}},
      {"stored data followed by a central header, the end record or the end of the file: sizes "
       "believed",
       LocalHeader({.compressed = 1, .uncompressed = 1, .name = "c"}) + "x" + "PK\x01\x02" +
           LocalHeader({.compressed = 1, .uncompressed = 1, .name = "e"}) + "y" + "PK\x05\x06" +
           LocalHeader({.compressed = 1, .uncompressed = 1, .name = "f"}) + "z",
       {{L"c", 1, 1, 31, 0}, {L"e", 1, 1, 67, 36}, {L"f", 1, 1, 103, 72}}},
      {"a descriptor after stored data without bit 3 is not a record that ends it",
       LocalHeader({.compressed = 1, .uncompressed = 1, .name = "d"}) + "x" + Descriptor(1, 1, 1) +
           b + "hi",
       {{L"d", 17, 17, 31, 0, Source::kStream}, {L"b", 2, 2, 79, 48}}},
      {"a descriptor after stored data with bit 3 ends it",
       LocalHeader({.flags = 8, .compressed = 1, .uncompressed = 1, .name = "d"}) + "x" +
           Descriptor(1, 1, 1) + b + "hi",
       {{L"d", 1, 1, 31, 0}, {L"b", 2, 2, 79, 48}}},
      {"another method with sizes that do not fit: believed",
       LocalHeader({.method = 12, .compressed = 3, .uncompressed = 9, .name = "m"}) + "xxxxx" + b +
           "hi",
       {{L"m", 3, 9, 31, 0}, {L"b", 2, 2, 67, 36}}},
      {"an extra field is skipped unread",
       LocalHeader({.compressed = 1, .uncompressed = 1, .name = "e", .extra = big_extra}) + "x" +
           b + "hi",
       {{L"e", 1, 1, 101, 0}, {L"b", 2, 2, 133, 102}}},
      {"fewer than 4 bytes", "PK\x03", {}},
      {"nothing", "", {}},
  };
}

TEST(ArchiveScannerRecords, CraftedFiles) {
  for (const RecordCase& c : RecordCases()) {
    SCOPED_TRACE(c.label);
    const std::vector<RecoveredEntry> found = ScanBytes(c.bytes);
    ASSERT_EQ(found.size(), c.expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].name, c.expected[i].name) << i;
      EXPECT_EQ(found[i].compressed_size, c.expected[i].compressed) << i;
      EXPECT_EQ(found[i].uncompressed_size, c.expected[i].uncompressed) << i;
      EXPECT_EQ(found[i].data_offset, c.expected[i].data_offset) << i;
      EXPECT_EQ(found[i].header_offset, c.expected[i].header_offset) << i;
      EXPECT_EQ(found[i].size_source, c.expected[i].source) << i;
    }
    ExpectSameAsModel(c.bytes, c.label);
  }
}

TEST(ArchiveScannerRecords, FieldsOfOneEntry) {
  const std::string bytes =
      LocalHeader({.method = kDeflated, .crc = 0x01020304, .name = "content.xml"}) + "zz" +
      Descriptor(0xCAFEF00D, 2, 40);
  const std::vector<RecoveredEntry> found = ScanBytes(bytes);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].time_text, kTimeText);
  EXPECT_EQ(found[0].method, kDeflated);
  // With the sizes taken from the descriptor, its CRC-32 is the one that belongs to the data.
  EXPECT_EQ(found[0].crc32, 0xCAFEF00Du);
  EXPECT_TRUE(found[0].crc_known);
  EXPECT_EQ(found[0].size_source, Source::kDescriptor);

  const std::vector<RecoveredEntry> stored = ScanBytes(
      LocalHeader({.crc = 0x01020304, .compressed = 1, .uncompressed = 1, .name = "s"}) + "x");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].crc32, 0x01020304u);
  EXPECT_EQ(stored[0].method, kStored);
  EXPECT_EQ(stored[0].flags, 0u);
  EXPECT_TRUE(stored[0].crc_known);
  EXPECT_EQ(stored[0].size_source, Source::kHeader);
}

TEST(ArchiveScannerRecords, FlagsAndWhetherTheCrcIsKnown) {
  struct Case {
    const char* label;
    std::string bytes;
    uint16_t flags;
    bool crc_known;
    Source source;
  };
  const Case cases[] = {
      {"no bit 3: the header's CRC-32",
       LocalHeader({.flags = 0x0800, .compressed = 1, .uncompressed = 1, .name = "a"}) + "x",
       0x0800, true, Source::kHeader},
      {"bit 3, sizes in the header: the header's CRC-32 is the 0 written before the data",
       LocalHeader({.flags = 0x0808, .compressed = 1, .uncompressed = 1, .name = "a"}) + "x",
       0x0808, false, Source::kHeader},
      {"bit 3, sizes from the descriptor: its CRC-32",
       LocalHeader({.method = kDeflated, .flags = 8, .name = "a"}) + "zz" + Descriptor(5, 2, 9), 8,
       true, Source::kDescriptor},
      {"bit 3, sizes found nowhere",
       LocalHeader({.method = kDeflated, .flags = 8, .name = "a"}) + "zz", 8, false, Source::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::vector<RecoveredEntry> found = ScanBytes(c.bytes);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].flags, c.flags);
    EXPECT_EQ(found[0].crc_known, c.crc_known);
    EXPECT_EQ(found[0].size_source, c.source);
  }
}

// ---- Other writers' layouts ---------------------------------------------------------------------

std::string Le64(uint64_t value) {
  std::string out;
  PutLe32(out, static_cast<uint32_t>(value));
  PutLe32(out, static_cast<uint32_t>(value >> 32));
  return out;
}

// The zip64 extra field of a local header: tag 1, the uncompressed size, then the compressed one.
std::string Zip64Extra(uint64_t uncompressed, uint64_t compressed) {
  std::string out;
  PutLe16(out, 1);
  PutLe16(out, 16);
  return out + Le64(uncompressed) + Le64(compressed);
}

uint32_t CrcOf(const std::string& data);

TEST(ArchiveScannerRecords, OtherWritersLayouts) {
  const std::string data = "hello";
  const uint32_t crc = CrcOf(data);
  const std::string stream = RawDeflate(std::string(300, 'a') + "b");
  const auto zs = static_cast<uint32_t>(stream.size());
  const uint32_t stream_crc = CrcOf(std::string(300, 'a') + "b");
  const std::string next =
      LocalHeader({.crc = CrcOf("hi"), .compressed = 2, .uncompressed = 2, .name = "next"}) + "hi";
  std::string descriptor64 = "PK\x07\x08";
  PutLe32(descriptor64, stream_crc);
  descriptor64 += Le64(zs) + Le64(301);
  struct Case {
    const char* label;
    std::string bytes;
    uint32_t compressed;
    uint32_t uncompressed;
    uint32_t crc;
    bool crc_known;
    Source source;
  };
  const Case cases[] = {
      {"zip64 local header: the sizes from the extra field",
       LocalHeader({.crc = crc,
                    .compressed = 0xFFFFFFFF,
                    .uncompressed = 0xFFFFFFFF,
                    .name = "z",
                    .extra = Zip64Extra(5, 5)}) +
           data + next,
       5, 5, crc, true, Source::kHeader},
      {"zip64 header written to a pipe: bit 3, zeros in the extra field, a 64-bit descriptor",
       LocalHeader({.method = kDeflated,
                    .flags = 8,
                    .crc = 0,
                    .compressed = 0xFFFFFFFF,
                    .uncompressed = 0xFFFFFFFF,
                    .name = "z",
                    .extra = Zip64Extra(0, 0)}) +
           stream + descriptor64 + next,
       zs, 301, stream_crc, true, Source::kDescriptor},
      {"stored, the plain size flipped: the size the CRC-32 confirms",
       LocalHeader({.crc = crc, .compressed = 5, .uncompressed = 5 ^ 256, .name = "s"}) + data +
           next,
       5, 5, crc, true, Source::kStream},
      {"stored, the compressed size flipped: the size the CRC-32 confirms",
       LocalHeader({.crc = crc, .compressed = 5 ^ 64, .uncompressed = 5, .name = "s"}) + data +
           next + std::string(100, 'q'),
       5, 5, crc, true, Source::kStream},
      {"bit 3, sizes in the header, CRC-32 0: the descriptor's CRC-32 is known",
       LocalHeader({.flags = 8, .crc = 0, .compressed = 5, .uncompressed = 5, .name = "b"}) + data +
           Descriptor(crc, 5, 5) + next,
       5, 5, crc, true, Source::kHeader},
      {"bit 3, the real CRC-32 in the header and no descriptor: known, as the data gives it",
       LocalHeader({.flags = 8, .crc = crc, .compressed = 5, .uncompressed = 5, .name = "b"}) +
           data + next,
       5, 5, crc, true, Source::kHeader},
      {"bit 3, header and descriptor disagree: the one the data gives",
       LocalHeader({.flags = 8, .crc = crc, .compressed = 5, .uncompressed = 5, .name = "b"}) +
           data + Descriptor(crc ^ 0x80, 5, 5) + next,
       5, 5, crc, true, Source::kHeader},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::vector<RecoveredEntry> found = ScanBytes(c.bytes);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].compressed_size, c.compressed);
    EXPECT_EQ(found[0].uncompressed_size, c.uncompressed);
    EXPECT_EQ(found[0].crc32, c.crc);
    EXPECT_EQ(found[0].crc_known, c.crc_known);
    EXPECT_EQ(found[0].size_source, c.source);
    EXPECT_EQ(found[1].name, L"next");
    ExpectSameAsModel(c.bytes, c.label);
  }
}

// Raw DEFLATE in stored blocks: the bytes appear in the stream as they are.
std::string StoredDeflate(const std::string& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 0, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(data.size() + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

// A damaged entry whose sizes do not fit, and whose bytes inflate on past real entries (zeros
// of a hole decode as a stream too): the headers inside its span are entries as well.
TEST(ArchiveScannerRecords, HeadersInsideADamagedEntrysSpanAreEntries) {
  const std::string inner =
      LocalHeader({.crc = CrcOf("meta"), .compressed = 4, .uncompressed = 4, .name = "meta.xml"}) +
      "meta";
  const std::string stream = StoredDeflate("<a>" + inner + "</a>");
  const std::string bytes =
      LocalHeader(
          {.method = kDeflated, .compressed = 7, .uncompressed = 9, .name = "content.xml"}) +
      stream + LocalHeader({.crc = CrcOf("hi"), .compressed = 2, .uncompressed = 2, .name = "z"}) +
      "hi";
  std::vector<std::wstring> names;
  for (const RecoveredEntry& e : ScanBytes(bytes)) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"content.xml", L"meta.xml", L"z"}));
  ExpectSameAsModel(bytes, "headers inside a damaged entry's span");
}

// A template's empty files are parts of the package like any other; folders are not.
TEST(ArchiveScannerRecords, EmptyFilesAreKeptAndFoldersAreNot) {
  const std::string bytes =
      LocalHeader({.crc = 0, .name = "Configurations2/"}) +
      LocalHeader({.crc = 0, .name = "Configurations2/accelerator/current.xml"}) +
      LocalHeader({.crc = 0x1234, .name = "damaged-empty"}) +
      LocalHeader({.flags = 8, .crc = 0, .name = "streamed-no-descriptor"}) +
      LocalHeader({.crc = 0, .compressed = 2, .uncompressed = 2, .name = "x"}) + "hi";
  const std::vector<RecoveredEntry> found = ScanBytes(bytes);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, L"Configurations2\\accelerator\\current.xml");
  EXPECT_EQ(found[0].compressed_size, 0u);
  EXPECT_EQ(found[0].uncompressed_size, 0u);
  EXPECT_EQ(found[1].name, L"x");
  ExpectSameAsModel(bytes, "empty files");
}

// ---- Damaged sizes -----------------------------------------------------------------------------

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

struct Part {
  std::string name;
  std::string data;
  uint16_t method = kDeflated;
  bool bit3 = false;  // sizes 0 and CRC-32 0 in the header, a signed descriptor after the data
};

// An archive as a writer makes it, and the record a scan must give for each part.
struct Archive {
  std::string bytes;
  std::vector<RecoveredEntry> records;
  std::vector<size_t> size_field;  // offset of each part's compressed size in its header
  std::vector<size_t> descriptor;  // offset of each part's descriptor (0 without one)
};

Archive Write(const std::vector<Part>& parts) {
  Archive a;
  for (const Part& part : parts) {
    const std::string data = part.method == kDeflated ? RawDeflate(part.data) : part.data;
    const uint32_t crc = Crc32(part.data);
    const auto compressed = static_cast<uint32_t>(data.size());
    const auto uncompressed = static_cast<uint32_t>(part.data.size());
    RecoveredEntry r;
    r.time_text = kTimeText;
    r.compressed_size = compressed;
    r.uncompressed_size = uncompressed;
    for (char c : part.name) r.name.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    r.header_offset = a.bytes.size();
    r.data_offset = a.bytes.size() + 30 + part.name.size();
    r.method = part.method;
    r.crc32 = crc;
    r.flags = part.bit3 ? 8 : 0;
    r.size_source = part.bit3 ? Source::kDescriptor : Source::kHeader;
    a.records.push_back(r);
    a.size_field.push_back(a.bytes.size() + 18);
    a.bytes += LocalHeader({.method = part.method,
                            .flags = r.flags,
                            .crc = part.bit3 ? 0 : crc,
                            .compressed = part.bit3 ? 0 : compressed,
                            .uncompressed = part.bit3 ? 0 : uncompressed,
                            .name = part.name}) +
               data;
    a.descriptor.push_back(part.bit3 ? a.bytes.size() : 0);
    if (part.bit3) a.bytes += Descriptor(crc, compressed, uncompressed);
  }
  // What follows the last entry: a central header and the end record (their fields do not
  // matter to the scan).
  a.bytes += "PK\x01\x02" + std::string(42, '\0') + "PK\x05\x06" + std::string(18, '\0');
  return a;
}

std::string Rows(int n) {
  std::string xml = "<office:document-content><table:table>";
  for (int i = 0; i < n; ++i) {
    xml += "<table:table-row><table:table-cell office:value=\"" + std::to_string(i * 37 % 1009) +
           "\"/><table:table-cell><text:p>row " + std::to_string(i) +
           "</text:p></table:table-cell>"
           "</table:table-row>";
  }
  return xml + "</table:table></office:document-content>";
}

std::string Noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out;
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(rng() % 256));
  return out;
}

// A spreadsheet package in small: content.xml deflates to about 3 KB, so a flipped bit 4 to 11
// of its size lands inside its stream or past entries that follow, and bits 24 to 31 past the
// end of the file.
std::vector<Part> Package(bool bit3) {
  return {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", kStored},
          {"content.xml", Rows(600), kDeflated, bit3},
          {"styles.xml", Rows(40), kDeflated, bit3},
          {"Pictures/p.png", Noise(1500, 3), kStored},
          {"META-INF/manifest.xml", Rows(5), kDeflated, bit3}};
}

std::string FlipBit(std::string bytes, size_t field, int bit) {
  bytes[field + static_cast<size_t>(bit / 8)] ^= static_cast<char>(1 << (bit % 8));
  return bytes;
}

// Buffer sizes for the larger archives: a tiny one, one around a header, the real one.
const size_t kSomeBuffers[] = {5, 64, 4096};

TEST(ArchiveScannerDamagedSizes, FlippedSizeBitFindsTheEntryAndAllThatFollow) {
  struct Case {
    const char* label;
    bool bit3;
    size_t part;
    Source source;  // of the damaged part's record
  };
  const Case cases[] = {
      // The header's compressed size, written as 0, now claims 2^bit bytes and no plain ones;
      // the stream's end and the intact descriptor there give the truth and the CRC-32.
      {"deflated, bit 3", true, 1, Source::kDescriptor},
      {"the last deflated entry, bit 3", true, 4, Source::kDescriptor},
      // The header's sizes were right until the flip; the stream's end gives the truth.
      {"deflated, sizes in the header", false, 1, Source::kStream},
      {"the last deflated entry, sizes in the header", false, 4, Source::kStream},
      // The next header bounds stored data.
      {"stored", false, 3, Source::kStream},
  };
  for (const Case& c : cases) {
    const Archive intact = Write(Package(c.bit3));
    ASSERT_EQ(Describe(ScanBytes(intact.bytes)), Describe(intact.records)) << c.label;
    for (int bit : {4, 5, 6, 7, 8, 9, 10, 11, 24, 25, 26, 27, 28, 29, 30, 31}) {
      const std::string label = std::string(c.label) + ", bit " + std::to_string(bit);
      SCOPED_TRACE(label);
      const std::string damaged = FlipBit(intact.bytes, intact.size_field[c.part], bit);
      std::vector<RecoveredEntry> expected = intact.records;
      expected[c.part].size_source = c.source;
      EXPECT_EQ(Describe(ScanBytes(damaged)), Describe(expected));
      ExpectSameAsModel(damaged, label, kSomeBuffers);
    }
  }
}

TEST(ArchiveScannerDamagedSizes, WhatTheBytesCannotTell) {
  const Archive bit3 = Write(Package(true));
  const Archive sized = Write(Package(false));
  const RecoveredEntry& content = bit3.records[1];
  const RecoveredEntry& sized_content = sized.records[1];
  std::string broken = FlipBit(bit3.bytes, bit3.size_field[1], 6);
  // Zeros where the stream begins: no DEFLATE data.
  broken.replace(content.data_offset, 64, std::string(64, '\0'));
  std::string lying = bit3.bytes;
  lying[bit3.descriptor[1] + 8] ^= 0x40;  // the descriptor's compressed size

  auto with = [](const std::vector<RecoveredEntry>& records, size_t n) {
    return std::vector<RecoveredEntry>(records.begin(), records.begin() + static_cast<long>(n));
  };
  struct Case {
    const char* label;
    std::string bytes;
    std::vector<RecoveredEntry> expected;
  };
  std::vector<Case> cases;
  {
    // The file ends inside content.xml's data, before its descriptor: the sizes are nowhere.
    RecoveredEntry cut = content;
    cut.compressed_size = cut.uncompressed_size = 0;
    cut.crc32 = 0;
    cut.crc_known = false;
    cut.size_source = Source::kNone;
    std::vector<RecoveredEntry> expected = with(bit3.records, 1);
    expected.push_back(cut);
    cases.push_back({"bit 3, cut inside the data: sizes found nowhere",
                     bit3.bytes.substr(0, content.data_offset + 700), expected});
  }
  {
    // With sizes in the header, they stay: the data runs past the end of the file.
    std::vector<RecoveredEntry> expected = with(sized.records, 2);
    cases.push_back({"sizes in the header, cut inside the data: the header's sizes",
                     sized.bytes.substr(0, sized_content.data_offset + 700), expected});
  }
  {
    // A stream that does not inflate tells nothing: the header's false sizes stay.
    RecoveredEntry believed = content;
    believed.compressed_size = 1u << 6;
    believed.uncompressed_size = 0;
    believed.crc32 = 0;
    believed.crc_known = false;
    believed.size_source = Source::kHeader;
    std::vector<RecoveredEntry> expected = with(bit3.records, 1);
    expected.push_back(believed);
    // The scan goes on 64 bytes into the zeros and finds the rest.
    expected.insert(expected.end(), bit3.records.begin() + 2, bit3.records.end());
    cases.push_back(
        {"bit 3, flipped size and broken stream: the header's sizes", broken, expected});
  }
  {
    // A descriptor whose compressed size lies: the stream's end gives the sizes, the
    // descriptor there still the CRC-32.
    std::vector<RecoveredEntry> expected = bit3.records;
    expected[1].size_source = Source::kStream;
    cases.push_back({"bit 3, lying descriptor", lying, expected});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Describe(ScanBytes(c.bytes)), Describe(c.expected));
    ExpectSameAsModel(c.bytes, c.label, kSomeBuffers);
  }
}

// Random packages of stored and deflated parts, with and without descriptors: the scan gives
// exactly the writer's records, and so does the model. Then one bit of one size flipped: the
// scan still agrees with the model at every buffer size.
TEST(ArchiveScannerDamagedSizes, RandomArchivesSoundAndFlipped) {
  std::mt19937 rng(99);
  auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  for (int round = 0; round < 60; ++round) {
    std::vector<Part> parts;
    for (uint32_t i = pick(6) + 1; i > 0; --i) {
      Part part;
      part.name = "p";  // appended, not "p" + ...: GCC 12 misreads that as overlapping
      part.name += std::to_string(i);
      part.name += pick(2) ? ".xml" : "/x.png";
      part.method = pick(3) ? kDeflated : kStored;
      part.data = pick(2) ? Rows(static_cast<int>(pick(80))) : Noise(pick(1200), rng());
      if (part.method == kStored && part.data.empty()) part.data = "x";
      part.bit3 = part.method == kDeflated && pick(2);
      parts.push_back(part);
    }
    const Archive a = Write(parts);
    const std::string label = "random archive " + std::to_string(round);
    EXPECT_EQ(Describe(ScanBytes(a.bytes)), Describe(a.records)) << label;
    EXPECT_EQ(Describe(ModelScan(a.bytes)), Describe(a.records)) << label;

    const size_t part = pick(static_cast<uint32_t>(parts.size()));
    const int bit = static_cast<int>(pick(32));
    ExpectSameAsModel(FlipBit(a.bytes, a.size_field[part], bit),
                      label + ", part " + std::to_string(part) + " bit " + std::to_string(bit),
                      kSomeBuffers);
  }
}

// ---- The buffered scan against the model -------------------------------------------------------

TEST(ArchiveScannerBuffering, HeaderAtEveryOffsetAcrossBufferEdges) {
  const std::string entry =
      LocalHeader({.compressed = 3, .uncompressed = 3, .name = "ab/c"}) + "xyz";
  const std::string deflated =
      LocalHeader({.method = kDeflated, .name = "d", .extra = "XY"}) + "0123" + Descriptor(7, 4, 9);
  for (size_t offset = 0; offset < 48; ++offset) {
    const std::string filler(offset, 'P');
    ExpectSameAsModel(filler + entry + entry, "stored at " + std::to_string(offset));
    ExpectSameAsModel(filler + deflated + entry, "deflated at " + std::to_string(offset));
  }
}

// Random files dense with signatures, headers with small random fields, descriptors and "PK"
// runs: what a damaged package looks like to the scanner, and worse.
std::string RandomDamagedFile(std::mt19937& rng) {
  auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  std::string out;
  const uint32_t parts = pick(24);
  for (uint32_t p = 0; p < parts; ++p) {
    switch (pick(7)) {
      case 0:
        for (uint32_t i = pick(40); i > 0; --i) out.push_back(static_cast<char>(pick(256)));
        break;
      case 1:
        out += pick(2) ? "PK\x03\x04" : "PK\x07\x08";
        break;
      case 2:
        for (uint32_t i = pick(12); i > 0; --i) out += "PK";
        break;
      case 3:
        out += Descriptor(rng(), pick(60), pick(60));
        break;
      default: {
        Header h;
        h.method = pick(3) ? kDeflated : kStored;
        h.compressed = pick(3) ? 0 : pick(40);
        h.uncompressed = pick(3) ? 0 : pick(40);
        for (uint32_t i = pick(10); i > 0; --i) h.name.push_back("ab/\0PK\x03\x04\xE9"[pick(9)]);
        if (pick(4) == 0) h.name_length = static_cast<int>(pick(20));
        for (uint32_t i = pick(4) == 0 ? pick(8) : 0; i > 0; --i) h.extra.push_back('x');
        std::string header = LocalHeader(h);
        if (pick(8) == 0) header.resize(pick(static_cast<uint32_t>(header.size())));
        out += header;
        for (uint32_t i = pick(30); i > 0; --i) out.push_back(static_cast<char>(pick(256)));
        break;
      }
    }
  }
  return out;
}

TEST(ArchiveScannerBuffering, RandomDamagedFilesMatchTheModel) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 400; ++round) {
    ExpectSameAsModel(RandomDamagedFile(rng), "random file " + std::to_string(round));
  }
}

TEST(ArchiveScannerBuffering, SizeSearchFarPastTheBuffer) {
  // The descriptor lies many buffers ahead; the scan then goes back to just after the entry's
  // extra field and on from the end of its data.
  std::string data(5000, 'd');
  data[1234] = 'P';
  const std::string bytes = LocalHeader({.method = kDeflated, .name = "far"}) + data +
                            Descriptor(1, 5000, 6000) +
                            LocalHeader({.compressed = 1, .uncompressed = 1, .name = "next"}) + "x";
  const std::vector<RecoveredEntry> found = ScanBytes(bytes, 64);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].compressed_size, 5000u);
  EXPECT_EQ(found[0].data_offset, 33u);
  EXPECT_EQ(found[1].name, L"next");
  ExpectSameAsModel(bytes, "far descriptor");
}

// ---- ScanArchive: log, message box, stop -------------------------------------------------------

std::vector<std::wstring> ExpectedLog(const std::wstring& path) {
  return {path + L" file is open....\r\n", path + L" file is extracted....\r\n",
          path + L" file is closed....\r\n"};
}

TEST(ScanArchive, ShortFileLogsThreeLinesAndFindsNothing) {
  TempFile file("PK\x03");
  RecordingWindow view;
  JobRunning running{1};
  std::vector<RecoveredEntry> found;
  EXPECT_TRUE(ScanArchive(view, file.path(), {&running, &view}, found));
  EXPECT_EQ(view.LogTexts(), ExpectedLog(file.path()));
  for (const auto& line : view.log) EXPECT_EQ(line.colour, kBlack);
  EXPECT_TRUE(view.entries.empty());
  EXPECT_TRUE(found.empty());
  EXPECT_TRUE(view.boxes.empty());
}

TEST(ScanArchive, AppendsEntriesInOrderFound) {
  TempFile file(LocalHeader({.compressed = 5, .uncompressed = 5, .name = "a.txt"}) + "hello" +
                LocalHeader({.compressed = 2, .uncompressed = 2, .name = "Pictures/b.png"}) + "hi");
  RecordingWindow view;
  JobRunning running{1};
  std::vector<RecoveredEntry> found;
  EXPECT_TRUE(ScanArchive(view, file.path(), {&running, &view}, found));
  ASSERT_EQ(view.entries.size(), 2u);
  ASSERT_EQ(found.size(), 2u);
  for (size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i].name, view.entries[i].name);
  EXPECT_EQ(view.entries[0].name, L"a.txt");
  EXPECT_EQ(view.entries[1].name, L"Pictures\\b.png");
  EXPECT_EQ(view.entries[1].time_text, kTimeText);
  EXPECT_EQ(view.LogTexts(), ExpectedLog(file.path()));
}

TEST(ScanArchive, MissingFileShowsTheSystemTextAndLogsNothing) {
  const std::wstring path = platform::TempFolder() + L"velmora-no-such-file.ods";
  platform::RemoveFile(path);
  platform::File probe = platform::File::OpenRead(path, platform::Sharing::kNone);
  ASSERT_FALSE(probe.IsOpen());
  const std::wstring system_text = platform::SystemErrorText(platform::LastError());

  RecordingWindow view;
  JobRunning running{1};
  std::vector<RecoveredEntry> found;
  EXPECT_FALSE(ScanArchive(view, path, {&running, &view}, found));
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0], system_text);
  EXPECT_EQ(view.CallsStartingWith(L"MessageBox none 64 "),
            std::vector<std::wstring>{L"MessageBox none 64 " + system_text});
  EXPECT_TRUE(view.log.empty());
  EXPECT_TRUE(view.entries.empty());
  EXPECT_TRUE(found.empty());
}

#ifdef _WIN32
TEST(ScanArchive, FileHeldWithoutSharingShowsTheSharingViolationText) {
  TempFile file(LocalHeader({.compressed = 1, .uncompressed = 1, .name = "a"}) + "x");
  platform::File holder = platform::File::OpenRead(file.path(), platform::Sharing::kNone);
  ASSERT_TRUE(holder.IsOpen());
  platform::File probe = platform::File::OpenRead(file.path(), platform::Sharing::kNone);
  ASSERT_FALSE(probe.IsOpen());
  const platform::ErrorCode error = platform::LastError();
  EXPECT_EQ(error, 32u);  // ERROR_SHARING_VIOLATION

  RecordingWindow view;
  JobRunning running{1};
  std::vector<RecoveredEntry> found;
  EXPECT_FALSE(ScanArchive(view, file.path(), {&running, &view}, found));
  EXPECT_EQ(view.boxes, std::vector<std::wstring>{platform::SystemErrorText(error)});
  EXPECT_TRUE(view.log.empty());
  EXPECT_TRUE(view.entries.empty());
  EXPECT_TRUE(found.empty());
  holder.Close();
}
#endif

TEST(ScanArchive, StopFlagClearedEndsTheScanWithTheClosingLines) {
  TempFile file(LocalHeader({.compressed = 5, .uncompressed = 5, .name = "a.txt"}) + "hello");
  RecordingWindow view;
  JobRunning running{0};
  std::vector<RecoveredEntry> found;
  EXPECT_TRUE(ScanArchive(view, file.path(), {&running, &view}, found));
  EXPECT_TRUE(view.entries.empty());
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(view.LogTexts(), ExpectedLog(file.path()));
}

TEST(ScanArchive, StopDuringTheScanKeepsWhatWasFound) {
  // The flag is read before every window: a stop right after the first entry ends the scan
  // before the second header, wherever the buffer's edges fall.
  std::string bytes = LocalHeader({.compressed = 5, .uncompressed = 5, .name = "a"}) + "hello";
  bytes +=
      std::string(100, 'x') + LocalHeader({.compressed = 1, .uncompressed = 1, .name = "b"}) + "y";
  TempFile file(bytes);
  for (size_t size : {size_t{4}, size_t{16}, size_t{37}, kScanBufferSize}) {
    JobRunning running{1};
    std::vector<std::wstring> names;
    platform::File f = platform::File::OpenRead(file.path(), platform::Sharing::kNone);
    ScanFile(
        f, bytes.size(), running,
        [&](const RecoveredEntry& entry) {
          names.push_back(entry.name);
          running.store(0);
        },
        size);
    EXPECT_EQ(names, std::vector<std::wstring>{L"a"}) << size;
  }
}

// ---- Entry time text ---------------------------------------------------------------------------

TEST(FormatEntryTime, CalendarValues) {
  struct Case {
    uint16_t date;
    uint16_t time;
    const wchar_t* text;
  };
  const Case cases[] = {
      {0x3D70, 0x74B7, L"Tuesday, November 16, 2010 02:37:46 PM "},
      {0x0021, 0x0000, L"Tuesday, January 01, 1980 12:00:00 AM "},
      {0x0021, 0x6000, L"Tuesday, January 01, 1980 12:00:00 PM "},
      {0x585D, 0xBF7D, L"Thursday, February 29, 2024 11:59:58 PM "},  // leap day, last second
      {0xFF9F, 0x0843, L"Saturday, December 31, 2107 01:02:06 AM "},  // the last DOS year
      // Not calendar values: the text is empty.
      {0x0001, 0x0000, L""},  // month 0
      {0x01A1, 0x0000, L""},  // month 13
      {0x0020, 0x0000, L""},  // day 0
      {0x565D, 0x0000, L""},  // 2023-02-29
      {0x3D7F, 0x0000, L""},  // November 31
      {0x3D70, 0xC000, L""},  // hour 24
      {0x3D70, 0x0780, L""},  // minute 60
      {0x3D70, 0x001E, L""},  // seconds field 30
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatEntryTime(c.date, c.time), c.text) << std::hex << c.date << " " << c.time;
  }
}

#if defined(__GLIBC__)
TEST(FormatEntryTime, HourSkippedBySpringForwardIsNormalised) {
  const test::TimeZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
  // 2010-03-28 02:30 does not exist in this zone: the clocks went from 02:00 to 03:00.
  const std::wstring text = FormatEntryTime(0x3C7C, 0x13C0);
  EXPECT_EQ(text, L"Sunday, March 28, 2010 03:30:00 AM ");
}
#endif

// ---- Real archives -----------------------------------------------------------------------------

#ifndef _WIN32
std::string ReadWholeFile(const std::wstring& path) {
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kRead);
  std::string bytes(static_cast<size_t>(std::max<int64_t>(file.Size(), 0)), '\0');
  const int64_t got = file.Read(bytes.data(), bytes.size());
  bytes.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  return bytes;
}

// Writes three files and a folder, lets `command` (run in that folder, with "ARCHIVE" standing
// for the archive's path) pack them, and checks that every file is found with its data where the
// record says.
void ExpectRealArchive(const std::string& command) {
  test::ScratchFolder scratch;
  const std::wstring folder = scratch.MakeFolder(L"files");
  const std::wstring archive = scratch.Path(L"packed.zip");
  ASSERT_TRUE(platform::IsDirectory(scratch.MakeFolder(L"files/Pictures")));
  std::string content = "<office:document-content>";
  for (int i = 0; i < 400; ++i) content += "<row n=\"" + std::to_string(i) + "\"/>";
  std::string picture;
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) picture.push_back(static_cast<char>(rng() % 256));
  const std::vector<std::pair<std::string, std::string>> files = {
      {"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
      {"content.xml", content},
      {"Pictures/a.png", picture},
  };
  for (const auto& [name, bytes] : files) {
    ASSERT_TRUE(test::WriteText(test::Join(folder, platform::WidenPath(name)), bytes));
  }

  std::string line = "cd " + test::QuotedPath(folder) + " && " + command;
  line.replace(line.find("ARCHIVE"), 7, test::QuotedPath(archive));
  const int status = test::RunCommand(line).status;
  const std::string zip = ReadWholeFile(archive);
  std::vector<RecoveredEntry> found;
  if (status == 0) found = ScanPath(archive, kScanBufferSize);

  ASSERT_EQ(status, 0) << line;

  // The folder entry has no data and is dropped; each file is found once.
  ASSERT_EQ(found.size(), files.size()) << ::testing::PrintToString(Describe(found));
  for (const auto& [name, bytes] : files) {
    std::wstring wanted = platform::WidenPath(name);
    std::replace(wanted.begin(), wanted.end(), L'/', L'\\');
    const auto entry = std::find_if(found.begin(), found.end(),
                                    [&](const RecoveredEntry& e) { return e.name == wanted; });
    ASSERT_NE(entry, found.end()) << name;
    ASSERT_EQ(entry->uncompressed_size, bytes.size()) << name;
    ASSERT_LE(entry->data_offset + entry->compressed_size, zip.size()) << name;
    const std::string data = zip.substr(entry->data_offset, entry->compressed_size);
    if (entry->method == kDeflated) {
      const test::Inflated inflated = test::RawInflate(data, bytes.size());
      EXPECT_TRUE(inflated.ended) << name;
      EXPECT_EQ(inflated.data, bytes) << name;
    } else {
      EXPECT_EQ(data, bytes) << name;
    }
    EXPECT_FALSE(entry->time_text.empty()) << name;
  }
  EXPECT_EQ(Describe(found), Describe(ModelScan(zip)));
}

TEST(ArchiveScannerRealArchives, WrittenByZip) {
  if (!test::CommandSucceeds("zip -v")) GTEST_SKIP() << "zip is not installed";
  ExpectRealArchive("zip -q -X -r ARCHIVE mimetype content.xml Pictures");
}

TEST(ArchiveScannerRealArchives, WrittenByPythonToAStreamWithDataDescriptors) {
  if (!test::CommandSucceeds("python3 -c 'import zipfile'")) {
    GTEST_SKIP() << "python3 is not installed";
  }
  // A stream that cannot seek makes zipfile write sizes 0 and signed data descriptors. (A
  // stored entry written that way has no size search and is dropped, so all are deflated.)
  ExpectRealArchive(
      "python3 -c \"import sys, zipfile\n"
      "with zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "    z.write('mimetype')\n"
      "    z.write('Pictures')\n"
      "    z.write('content.xml')\n"
      "    z.write('Pictures/a.png')\n"
      "\" | cat > ARCHIVE");
}
#endif

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {
uint32_t CrcOf(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}
}  // namespace
}  // namespace velmora
