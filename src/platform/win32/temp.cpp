// The temporary-files folder and uniquely named temporary files.
#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace velmora::platform {

std::wstring TempFolder() {
  std::vector<wchar_t> buffer(1024);
  DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length >= buffer.size()) {
    // Too long for the buffer: the result is the size needed, terminator included.
    buffer.resize(length);
    length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) return {};
  }
  return std::wstring(buffer.data(), length);
}

std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix) {
  // Unique number 0: the system picks the number and creates the empty file. Only the first
  // three characters of the prefix are used.
  wchar_t buffer[MAX_PATH + 1] = {};
  if (GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, buffer) == 0) return {};
  return buffer;
}

std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix, File* opened) {
  std::wstring path = CreateTempFile(folder, prefix);
  if (path.empty() || opened == nullptr) return path;
  // The system call closes the file it made; it is opened again, as it is, for the caller.
  *opened = File::Create(path);
  if (!opened->IsOpen()) {
    DeleteFileW(path.c_str());
    return {};
  }
  return path;
}

}  // namespace velmora::platform
