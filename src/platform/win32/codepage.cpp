// Entry names on Windows: the ANSI code page, as the packages' readers expect without the
// UTF-8 flag.
#include "platform/codepage.h"

#include <windows.h>

#include <climits>

namespace velmora::platform {

bool ToAnsiCodePage(const std::wstring& text, std::string* bytes) {
  bytes->clear();
  if (text.empty()) return true;
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  const int length = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  bytes->resize(static_cast<size_t>(needed));
  const int written =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes->data(), needed, nullptr, nullptr);
  if (written <= 0) {
    bytes->clear();
    return false;
  }
  bytes->resize(static_cast<size_t>(written));
  return true;
}

}  // namespace velmora::platform
