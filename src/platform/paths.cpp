// Paths built from their parts, and folders made along a path: the same on every system, on
// top of the calls each system implements.
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace velmora::platform {

namespace {

bool IsSeparator(wchar_t c) {
#ifdef _WIN32
  return c == L'\\' || c == L'/';
#else
  return c == L'/';
#endif
}

}  // namespace

std::wstring JoinPath(const std::wstring& folder, std::wstring_view name) {
  std::wstring path;
  path.reserve(folder.size() + 1 + name.size());
  path += folder;
  path += kSeparator;
  path += name;
  return path;
}

std::wstring WithTrailingSeparator(std::wstring folder) {
  if (folder.empty() || folder.back() != kSeparator) folder += kSeparator;
  return folder;
}

bool MakeDirectories(const std::wstring& path, ErrorCode* error, size_t known_length) {
  // Each cut is at a separator or at the end; a cut at 0 (the root of "/a") names nothing.
  for (size_t at = known_length + 1; at <= path.size(); ++at) {
    if (at < path.size() && !IsSeparator(path[at])) continue;
    const std::wstring part = path.substr(0, at);
    if (IsDirectory(part)) continue;
    ErrorCode code = 0;
    if (MakeDirectory(part, &code) == MakeDirResult::kFailed) {
      if (error != nullptr) *error = code;
      return false;
    }
  }
  return true;
}

}  // namespace velmora::platform
