// Whole-file operations: remove, copy and rename.
#include <windows.h>

#include "platform/platform.h"

namespace velmora::platform {

bool RemoveFile(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return true;
  const DWORD code = GetLastError();
  // A directory junction or symbolic link is listed as a file; it goes with RemoveDirectoryW,
  // which removes the link and leaves its target alone.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const DWORD link_to_folder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & link_to_folder) == link_to_folder) {
    return RemoveDirectoryW(path.c_str()) != 0;
  }
  SetLastError(code);
  return false;
}

bool CopyFileReplacing(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool RenameReplacing(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace velmora::platform
