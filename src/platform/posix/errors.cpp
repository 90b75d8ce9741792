// System error codes and texts: errno and strerror_r.
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace velmora::platform {

namespace {

// glibc declares the GNU strerror_r (returns the text) unless a strict POSIX mode asks for the
// XSI one (fills the buffer, returns 0); these two overloads accept whichever is declared.
[[maybe_unused]] const char* ErrorTextOf(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorTextOf(const char* result, const char*) {
  return result;
}

}  // namespace

ErrorCode LastError() {
  return static_cast<ErrorCode>(errno);
}

std::wstring SystemErrorText(ErrorCode code) {
  char buffer[256] = {};
  const char* text = ErrorTextOf(strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
  std::string bytes = text != nullptr ? text : "";
  if (bytes.empty()) bytes = "Unknown error " + std::to_string(code);
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
  // Widened byte by byte like paths, so narrowing it for a terminal gives the system's bytes back.
  return WidenPath(bytes);
}

}  // namespace velmora::platform
