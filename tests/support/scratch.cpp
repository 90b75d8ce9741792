#include "support/scratch.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "support/raw_deflate.h"

namespace velmora::test {
namespace {

void Put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

ScratchFolder::ScratchFolder() {
  marker_ = platform::CreateTempFile(platform::TempFolder(), L"vts");
  EXPECT_FALSE(marker_.empty());
  path_ = marker_ + L".d";
  EXPECT_EQ(platform::MakeDirectory(path_), platform::MakeDirResult::kCreated);
}

ScratchFolder::~ScratchFolder() {
  RemoveTree(path_);
  platform::RemoveFile(marker_);
}

std::wstring ScratchFolder::Path(const std::wstring& relative) const {
  std::wstring native = relative;
  for (wchar_t& c : native) {
    if (c == L'/') c = platform::kSeparator;
  }
  return platform::JoinPath(path_, native);
}

std::wstring ScratchFolder::MakeFolder(const std::wstring& relative) const {
  const std::wstring full = Path(relative);
  platform::MakeDirectories(full, nullptr, path_.size());
  return full;
}

std::wstring ScratchFolder::Write(const std::wstring& relative, const std::string& bytes) const {
  const size_t cut = relative.rfind(L'/');
  if (cut != std::wstring::npos) MakeFolder(relative.substr(0, cut));
  const std::wstring full = Path(relative);
  WriteText(full, bytes);
  return full;
}

void RemoveTree(const std::wstring& folder) {
  std::vector<platform::DirItem> items;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    items.push_back(item);
    return true;
  });
  for (const platform::DirItem& item : items) {
    const std::wstring path = platform::JoinPath(folder, item.name);
    if (item.is_directory) {
      RemoveTree(path);
    } else {
      platform::RemoveFile(path);
    }
  }
  platform::RemoveEmptyDirectory(folder);
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() == platform::kSeparator) return folder + name;
  return platform::JoinPath(folder, name);
}

bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
  platform::File file = platform::File::Create(path);
  return file.IsOpen() && file.Write(bytes.data(), bytes.size());
}

bool WriteText(const std::wstring& path, const std::string& text) {
  return WriteBytes(path, ToBytes(text));
}

Bytes ReadBytes(const std::wstring& path) {
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kRead);
  if (!file.IsOpen()) return {};
  int64_t size = file.Size();
  if (size <= 0) return {};
  Bytes bytes(static_cast<size_t>(size));
  int64_t got = file.Read(bytes.data(), bytes.size());
  bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return bytes;
}

Bytes ToBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::wstring W(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

std::wstring SourcePath(const std::string& relative) {
  std::string path = std::string(VELMORA_SOURCE_DIR) + "/" + relative;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return std::wstring(path.begin(), path.end());
}

Bytes MakeZip(const std::vector<ZipPart>& parts) {
  Bytes out;
  Bytes central;
  for (const auto& part : parts) {
    const uint32_t offset = static_cast<uint32_t>(out.size());
    const Bytes data = ToBytes(part.deflate ? RawDeflate(part.data) : part.data);
    const uint32_t crc = static_cast<uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(part.data.data()), static_cast<uInt>(part.data.size())));
    const uint16_t method = part.deflate ? 8 : 0;
    const uint16_t flags = part.descriptor ? 8 : 0;
    Put32(out, 0x04034B50);
    Put16(out, 20);
    Put16(out, flags);
    Put16(out, method);
    Put16(out, 0x74B7);  // 14:37:46
    Put16(out, 0x3D70);  // 2010-11-16
    Put32(out, part.descriptor ? 0 : crc);
    Put32(out, part.descriptor ? 0 : static_cast<uint32_t>(data.size()));
    Put32(out, part.descriptor ? 0 : static_cast<uint32_t>(part.data.size()));
    Put16(out, static_cast<uint32_t>(part.name.size()));
    Put16(out, 0);
    out.insert(out.end(), part.name.begin(), part.name.end());
    out.insert(out.end(), data.begin(), data.end());
    if (part.descriptor) {
      Put32(out, 0x08074B50);
      Put32(out, crc);
      Put32(out, static_cast<uint32_t>(data.size()));
      Put32(out, static_cast<uint32_t>(part.data.size()));
    }
    Put32(central, 0x02014B50);
    Put16(central, 20);
    Put16(central, 20);
    Put16(central, flags);
    Put16(central, method);
    Put16(central, 0x74B7);
    Put16(central, 0x3D70);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(data.size()));
    Put32(central, static_cast<uint32_t>(part.data.size()));
    Put16(central, static_cast<uint32_t>(part.name.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, 0);
    Put32(central, offset);
    central.insert(central.end(), part.name.begin(), part.name.end());
  }
  const uint32_t central_offset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), central.begin(), central.end());
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(parts.size()));
  Put16(out, static_cast<uint32_t>(parts.size()));
  Put32(out, static_cast<uint32_t>(central.size()));
  Put32(out, central_offset);
  Put16(out, 0);
  return out;
}

std::string TinyContentXml(const std::string& text) {
  return "<office:document-content><office:body><office:spreadsheet><table:table "
         "table:name=\"Sheet1\"><table:table-row><table:table-cell office:value-type=\"string\">"
         "<text:p>" +
         text +
         "</text:p></table:table-cell></table:table-row></table:table></office:spreadsheet>"
         "</office:body></office:document-content>";
}

}  // namespace velmora::test
