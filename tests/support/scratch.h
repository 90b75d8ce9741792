// Test helpers: a scratch folder removed at the end, small files, and tiny ZIP
// packages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

using Bytes = std::vector<uint8_t>;

// A uniquely named folder under the temporary-files folder, removed with everything in it at
// the end. A temporary file beside it reserves the name while it lives.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::wstring& path() const { return path_; }
  // path() + separator + relative; "/" in `relative` becomes the platform's separator.
  std::wstring Path(const std::wstring& relative) const;
  // Makes the folder at `relative` and those on the way; returns its path.
  std::wstring MakeFolder(const std::wstring& relative) const;
  // Writes a file at `relative`, making the folders on the way; returns its path.
  std::wstring Write(const std::wstring& relative, const std::string& bytes) const;

 private:
  std::wstring marker_;
  std::wstring path_;
};

// Removes the folder and everything in it.
void RemoveTree(const std::wstring& folder);

// The folder and the name with one separator between them (none added when the folder ends
// with one).
std::wstring Join(const std::wstring& folder, const std::wstring& name);

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
// A package of local headers and data followed by a central directory and end
// record.
Bytes MakeZip(const std::vector<ZipPart>& parts);

// The smallest content.xml and styles.xml of a spreadsheet that a repair calls whole: one sheet
// "Sheet1" whose one row holds one text cell with `text`.
std::string TinyContentXml(const std::string& text = "cells");
inline constexpr const char* kTinyStylesXml = "<office:document-styles/>";

// A narrow (ASCII) string as a wide text.
std::wstring W(const std::string& ascii);

// A file or folder of the source tree, `relative` written with "/". The Windows tests run
// under Wine, where the POSIX path of the tree is reached through drive Z:.
std::wstring SourcePath(const std::string& relative);

}  // namespace velmora::test
