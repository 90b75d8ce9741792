// System error codes and their texts from the system message table.
#include <windows.h>

#include "platform/platform.h"

namespace velmora::platform {

ErrorCode LastError() {
  return GetLastError();
}

std::wstring SystemErrorText(ErrorCode code) {
  wchar_t* buffer = nullptr;
  // Inserts are ignored: a text with %1 in it would otherwise read arguments we do not pass.
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer),
      0, nullptr);
  std::wstring text;
  if (length != 0 && buffer != nullptr) text.assign(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return text;
}

}  // namespace velmora::platform
