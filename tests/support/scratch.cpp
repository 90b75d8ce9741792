#include "support/scratch.h"

#include <zlib.h>

#include <cstring>

#include "engine/job/working_folder.h"
#include "platform/platform.h"

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
  // The temporary file reserves a unique name; the folder sits beside it.
  std::wstring reserved = platform::CreateTempFile(platform::TempFolder(), L"VTS");
  path_ = reserved + L".d";
  platform::RemoveFile(reserved);
  platform::MakeDirectory(path_);
}

ScratchFolder::~ScratchFolder() {
  DeleteFolderTree(path_);
  platform::RemoveEmptyDirectory(path_);
}

std::wstring ScratchFolder::operator/(const std::wstring& name) const {
  return path_ + platform::kSeparator + name;
}

std::wstring Join(const std::wstring& a, const std::wstring& b) {
  return a + platform::kSeparator + b;
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

Bytes Deflate(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&stream, data.size()) + 16);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

Bytes MakeZip(const std::vector<ZipPart>& parts) {
  Bytes out;
  Bytes central;
  for (const auto& part : parts) {
    const uint32_t offset = static_cast<uint32_t>(out.size());
    const Bytes data = part.deflate ? Deflate(part.data) : ToBytes(part.data);
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

}  // namespace velmora::test
