// Path texts and their byte strings. A byte widens to the code unit of the same value, so any
// file name the system hands us, valid UTF-8 or not, comes back byte for byte.
#include <string>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace velmora::platform {

std::string NarrowPath(const std::wstring& path) {
  std::string bytes;
  bytes.reserve(path.size());
  for (wchar_t c : path) {
    const uint32_t u = static_cast<uint32_t>(c);
    if (u <= 0xFF) {
      bytes.push_back(static_cast<char>(u));
      continue;
    }
    // Only a literal of our own can get here; write it as UTF-8, the usual file-name encoding.
    AppendUtf8(bytes, u);
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
