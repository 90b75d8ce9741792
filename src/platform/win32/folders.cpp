// Directories: create, test, remove and list.
#include <windows.h>

#include "platform/platform.h"

namespace velmora::platform {

namespace {

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool IsDotName(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

MakeDirResult MakeDirectory(const std::wstring& path, ErrorCode* error) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return MakeDirResult::kCreated;
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS) return MakeDirResult::kAlreadyExists;
  if (error != nullptr) *error = code;
  return MakeDirResult::kFailed;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool GetVolumeSpace(const std::wstring& folder, VolumeSpace* space) {
  ULARGE_INTEGER available{}, total{};
  // The folder with a separator at its end: the call wants a directory, and a UNC share's
  // root only with one.
  if (!GetDiskFreeSpaceExW(WithTrailingSeparator(folder).c_str(), &available, &total, nullptr))
    return false;
  space->available = available.QuadPart;
  space->total = total.QuadPart;
  return true;
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveEmptyDirectory(const std::wstring& path) {
  return RemoveDirectoryW(path.c_str()) != 0;
}

bool ListDirectory(const std::wstring& folder, const std::function<bool(const DirItem&)>& visit) {
  std::wstring pattern = folder;
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(pattern.c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) {
    // A drive root may have no items at all, not even "." and "..".
    return GetLastError() == ERROR_FILE_NOT_FOUND && IsDirectory(folder);
  }
  do {
    if (IsDotName(data.cFileName)) continue;
    DirItem item;
    item.name = data.cFileName;
    // A junction or directory link counts as a file, so that a walk which deletes what it finds
    // removes the link (RemoveFile knows how) and never the files behind it.
    item.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    if (!visit(item)) return true;
  } while (FindNextFileW(find.get(), &data));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace velmora::platform
