#include "support/zip_test_support.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/platform.h"
#include "support/command.h"
#include "support/raw_deflate.h"

namespace velmora::ziptest {

namespace {

uint16_t Get16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                               static_cast<unsigned char>(b[at + 1]) << 8);
}

uint32_t Get32(const std::string& b, size_t at) {
  return uint32_t{Get16(b, at)} | uint32_t{Get16(b, at + 2)} << 16;
}

std::string Hex(uint32_t v) {
  char text[16];
  snprintf(text, sizeof text, "0x%X", v);
  return text;
}

#ifndef _WIN32
bool ToolPresent(const std::string& tool) {
  return test::CommandSucceeds("command -v " + tool);
}
#endif

}  // namespace

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  platform::File file = platform::File::Create(path);
  return file.IsOpen() && file.Write(bytes.data(), bytes.size());
}

std::string ReadBytes(const std::wstring& path) {
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kRead);
  if (!file.IsOpen()) return "<missing>";
  std::string bytes;
  char chunk[65536];
  for (;;) {
    const int64_t got = file.Read(chunk, sizeof chunk);
    if (got <= 0) break;
    bytes.append(chunk, static_cast<size_t>(got));
  }
  return bytes;
}

std::string NoiseBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return bytes;
}

std::string TextBytes(size_t size) {
  std::string bytes;
  for (int row = 0; bytes.size() < size; ++row) {
    bytes += "<table:table-row><table:table-cell office:value=\"" +
             std::to_string(row * 37 % 1000) + "\"><text:p>" + std::to_string(row) +
             "</text:p></table:table-cell></table:table-row>\n";
  }
  bytes.resize(size);
  return bytes;
}

std::string Narrow(const std::wstring& text) {
  std::string bytes;
  platform::ToAnsiCodePage(text, &bytes);
  return bytes;
}

std::wstring Widen(const std::string& bytes) {
  std::wstring text;
  for (char c : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::wstring> ListedNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    names.push_back(item.name);
    return true;
  });
  return names;
}

ParsedArchive ParseArchive(const std::string& b) {
  ParsedArchive a;
  if (b.size() < 22) {
    a.error = "shorter than an end record";
    return a;
  }
  const size_t end = b.size() - 22;
  if (Get32(b, end) != 0x06054B50) {
    a.error = "no end record in the last 22 bytes";
    return a;
  }
  a.disk = Get16(b, end + 4);
  a.directory_disk = Get16(b, end + 6);
  a.entries_on_disk = Get16(b, end + 8);
  a.total_entries = Get16(b, end + 10);
  a.directory_size = Get32(b, end + 12);
  a.directory_offset = Get32(b, end + 16);
  a.comment_length = Get16(b, end + 20);
  if (uint64_t{a.directory_offset} + a.directory_size != end) {
    a.error = "central directory does not end at the end record";
    return a;
  }
  size_t at = a.directory_offset;
  for (int i = 0; i < a.total_entries; ++i) {
    ParsedEntry e;
    if (at + 46 > end || Get32(b, at) != 0x02014B50) {
      a.error = "central header " + std::to_string(i) + " missing";
      return a;
    }
    e.version_made_by = Get16(b, at + 4);
    e.version_needed = Get16(b, at + 6);
    e.flags = Get16(b, at + 8);
    e.method = Get16(b, at + 10);
    e.dos_time = Get16(b, at + 12);
    e.dos_date = Get16(b, at + 14);
    e.crc = Get32(b, at + 16);
    e.compressed = Get32(b, at + 20);
    e.uncompressed = Get32(b, at + 24);
    const uint16_t name_length = Get16(b, at + 28);
    const uint16_t extra_length = Get16(b, at + 30);
    e.comment_length = Get16(b, at + 32);
    e.disk_start = Get16(b, at + 34);
    e.internal_attributes = Get16(b, at + 36);
    e.external_attributes = Get32(b, at + 38);
    e.offset = Get32(b, at + 42);
    if (at + 46 + name_length + extra_length + e.comment_length > end) {
      a.error = "central header " + std::to_string(i) + " runs past the directory";
      return a;
    }
    e.name = b.substr(at + 46, name_length);
    e.central_extra = b.substr(at + 46 + name_length, extra_length);
    at += 46 + name_length + extra_length + e.comment_length;

    const size_t lh = e.offset;
    if (lh + 30 > a.directory_offset || Get32(b, lh) != 0x04034B50) {
      a.error = "no local header for " + e.name + " at " + Hex(e.offset);
      return a;
    }
    e.local_version_needed = Get16(b, lh + 4);
    e.local_flags = Get16(b, lh + 6);
    e.local_method = Get16(b, lh + 8);
    e.local_time = Get16(b, lh + 10);
    e.local_date = Get16(b, lh + 12);
    e.local_crc = Get32(b, lh + 14);
    e.local_compressed = Get32(b, lh + 18);
    e.local_uncompressed = Get32(b, lh + 22);
    const uint16_t local_name_length = Get16(b, lh + 26);
    const uint16_t local_extra_length = Get16(b, lh + 28);
    const size_t data_at = lh + 30 + local_name_length + local_extra_length;
    if (data_at + e.local_compressed > a.directory_offset) {
      a.error = "data of " + e.name + " runs into the central directory";
      return a;
    }
    if (b.compare(lh + 30, local_name_length, e.name) != 0) {
      a.error = "local and central names differ for " + e.name;
      return a;
    }
    e.local_extra = b.substr(lh + 30 + local_name_length, local_extra_length);
    e.raw = b.substr(data_at, e.local_compressed);
    if (e.local_method == 0) {
      e.data = e.raw;
    } else if (e.local_method == 8) {
      // One byte more than declared shows a stream longer than its header says.
      const test::Inflated inflated = test::RawInflate(e.raw, e.local_uncompressed + size_t{1});
      e.data = inflated.data;
      if (!inflated.ended || inflated.consumed != e.raw.size()) {
        a.error = "data of " + e.name + " does not inflate to its size";
        return a;
      }
    } else {
      a.error = "unknown method for " + e.name;
      return a;
    }
    if (e.data.size() != e.local_uncompressed) {
      a.error = "size of " + e.name + " differs from its header";
      return a;
    }
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
    if (crc != e.local_crc) {
      a.error = "CRC-32 of " + e.name + " differs from its header";
      return a;
    }
    a.entries.push_back(std::move(e));
  }
  if (at != end) a.error = "bytes between the last central header and the end record";
  return a;
}

std::vector<std::string> ExternalReaders(bool installed) {
  std::vector<std::string> names;
  for (const char* tool : {"unzip", "bsdtar", "7z", "python3"}) {
#ifdef _WIN32
    if (!installed) names.push_back(tool);
#else
    if (ToolPresent(tool) == installed) names.push_back(tool);
#endif
  }
  return names;
}

std::vector<std::string> ExternalReaderComplaints(const std::wstring& path) {
  std::vector<std::string> complaints;
#ifndef _WIN32
  const std::string file = test::QuotedPath(path);
  struct Reader {
    const char* tool;
    std::string command;
  };
  const Reader readers[] = {
      {"unzip", "unzip -tqq " + file},
      {"bsdtar", "bsdtar -xOf " + file},
      {"7z", "7z t " + file},
      {"python3",
       "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
       "sys.exit(z.testzip() is not None)' " +
           file},
  };
  for (const Reader& reader : readers) {
    if (!ToolPresent(reader.tool)) continue;
    if (!test::CommandSucceeds(reader.command)) {
      complaints.push_back(reader.command);
    }
  }
#else
  (void)path;
#endif
  return complaints;
}

std::string FileTypeOf(const std::wstring& path) {
  std::string type;
#ifndef _WIN32
  if (!ToolPresent("file")) return type;
  type = test::RunCommand("file -b " + test::QuotedPath(path)).out;
  while (!type.empty() && (type.back() == '\n' || type.back() == '\r')) type.pop_back();
#else
  (void)path;
#endif
  return type;
}

}  // namespace velmora::ziptest
