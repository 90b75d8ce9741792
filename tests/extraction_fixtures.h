// Helpers for the extraction and working-folder tests: scratch folders, whole-file reads and
// writes, raw DEFLATE streams made with zlib, and a temporary-files folder pointed at a scratch
// folder so that a test sees only its own "OPC" files.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/raw_deflate.h"
#include "support/zip_test_support.h"

namespace velmora::extraction_test {

// Shared with the archive-writer tests.
using test::Join;
using test::RawDeflate;
using test::RemoveTree;
using test::ScratchFolder;
using ziptest::ReadBytes;  // the whole file, or "<missing>" when it cannot be opened
using ziptest::WriteBytes;

// The names in a folder, sorted.
inline std::vector<std::wstring> Names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    names.push_back(item.name);
    return true;
  });
  std::sort(names.begin(), names.end());
  return names;
}

// Text that compresses well, like the XML of a spreadsheet.
inline std::string XmlLikeText(size_t size) {
  std::string text;
  for (uint32_t row = 0; text.size() < size; ++row) {
    text += "<table:table-row><table:table-cell office:value=\"" + std::to_string(row * 37 % 1009) +
            "\"><text:p>" + std::to_string(row) + "</text:p></table:table-cell></table:table-row>";
  }
  text.resize(size);
  return text;
}

// A whole sheet's XML with varied numbers and texts, so that it compresses about as a real one
// does (far less than a repeated row): `rows` rows of three numbers and a text.
inline std::string VariedSheetXml(size_t rows, uint32_t seed) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
      "xmlns:office=\"urn:o\" xmlns:table=\"urn:t\" xmlns:text=\"urn:x\"><office:body>"
      "<table:table table:name=\"Sheet1\">";
  for (size_t r = 0; r < rows; ++r) {
    xml += "<table:table-row>";
    for (int c = 0; c < 4; ++c) {
      seed = seed * 1103515245u + 12345u;
      const uint32_t v = seed >> 12;
      if (c == 3) {
        xml += "<table:table-cell office:value-type=\"string\"><text:p>Item " +
               std::to_string(v % 9973) + "</text:p></table:table-cell>";
      } else {
        xml += "<table:table-cell office:value-type=\"float\" office:value=\"" + std::to_string(v) +
               "\"><text:p>" + std::to_string(v) + "</text:p></table:table-cell>";
      }
    }
    xml += "</table:table-row>";
  }
  return xml + "</table:table></office:body></office:document-content>";
}

// Bytes that do not compress.
inline std::string NoiseBytes(size_t size, uint32_t seed = 12345) {
  std::string bytes(size, '\0');
  for (char& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<char>(seed >> 23);
  }
  return bytes;
}

// Points the temporary-files folder (TMPDIR on POSIX, TMP and TEMP on Windows) at `folder`
// for the life of the object.
class TempFolderRedirect {
 public:
  explicit TempFolderRedirect(const std::wstring& folder) {
#ifdef _WIN32
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      const wchar_t* old = _wgetenv(name);
      saved_.push_back({name, old != nullptr, old != nullptr ? old : L""});
      _wputenv((std::wstring(name) + L"=" + folder).c_str());
    }
#else
    const char* old = getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) saved_ = old;
    setenv("TMPDIR", platform::NarrowPath(folder).c_str(), 1);
#endif
  }
  ~TempFolderRedirect() {
#ifdef _WIN32
    // "NAME=" removes the variable.
    for (const Saved& s : saved_) _wputenv((s.name + L"=" + (s.had ? s.value : L"")).c_str());
#else
    if (had_) {
      setenv("TMPDIR", saved_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
#endif
  }
  TempFolderRedirect(const TempFolderRedirect&) = delete;
  TempFolderRedirect& operator=(const TempFolderRedirect&) = delete;

 private:
#ifdef _WIN32
  struct Saved {
    std::wstring name;
    bool had;
    std::wstring value;
  };
  std::vector<Saved> saved_;
#else
  bool had_ = false;
  std::string saved_;
#endif
};

}  // namespace velmora::extraction_test
