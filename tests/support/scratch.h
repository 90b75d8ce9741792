// Test helpers: a scratch folder removed at the end, small files, and tiny ZIP
// packages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

using Bytes = std::vector<uint8_t>;

// A uniquely named folder under the temporary-files folder; removed with
// everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::wstring& path() const { return path_; }
  // path() + separator + name.
  std::wstring operator/(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// a + separator + b.
std::wstring Join(const std::wstring& a, const std::wstring& b);

bool WriteBytes(const std::wstring& path, const Bytes& bytes);
bool WriteText(const std::wstring& path, const std::string& text);
// The file's bytes, or an empty vector when it cannot be read.
Bytes ReadBytes(const std::wstring& path);
Bytes ToBytes(const std::string& text);

struct ZipPart {
  std::string name;
  std::string data;
  bool deflate = true;
  // Write the sizes in a signed data descriptor after the data (sizes 0 in the
  // header), as office programs do.
  bool descriptor = false;
};
// Raw DEFLATE of the data (zlib, level 6, no header).
Bytes Deflate(const std::string& data);
// A package of local headers and data followed by a central directory and end
// record.
Bytes MakeZip(const std::vector<ZipPart>& parts);

// A narrow (ASCII) string as a wide text.
std::wstring W(const std::string& ascii);

}  // namespace velmora::test
