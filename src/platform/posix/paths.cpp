// Path texts and their byte strings. A byte widens to the code unit of the same value, so any
// file name the system hands us, valid UTF-8 or not, comes back byte for byte.
#include <string>

#include "platform/platform.h"

namespace velmora::platform {

std::string NarrowPath(const std::wstring& path) {
  std::string bytes;
  bytes.reserve(path.size());
  for (wchar_t c : path) {
    uint32_t u = static_cast<uint32_t>(c);
    if (u <= 0xFF) {
      bytes.push_back(static_cast<char>(u));
      continue;
    }
    // Only a literal of our own can get here; write it as UTF-8, the usual file-name encoding.
    if (u > 0x10FFFF) u = 0xFFFD;
    if (u < 0x800) {
      bytes.push_back(static_cast<char>(0xC0 | (u >> 6)));
    } else if (u < 0x10000) {
      bytes.push_back(static_cast<char>(0xE0 | (u >> 12)));
      bytes.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    } else {
      bytes.push_back(static_cast<char>(0xF0 | (u >> 18)));
      bytes.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    }
    bytes.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
  return bytes;
}

std::wstring WidenPath(const std::string& bytes) {
  std::wstring path;
  path.reserve(bytes.size());
  for (char b : bytes) path.push_back(static_cast<wchar_t>(static_cast<unsigned char>(b)));
  return path;
}

}  // namespace velmora::platform
