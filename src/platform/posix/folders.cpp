// Directories: create, test, remove and list.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/platform.h"

namespace velmora::platform {

MakeDirResult MakeDirectory(const std::wstring& path, ErrorCode* error) {
  if (mkdir(NarrowPath(path).c_str(), 0777) == 0) return MakeDirResult::kCreated;
  if (errno == EEXIST) return MakeDirResult::kAlreadyExists;
  if (error != nullptr) *error = LastError();
  return MakeDirResult::kFailed;
}

bool IsDirectory(const std::wstring& path) {
  struct stat st {};
  return stat(NarrowPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::wstring& path) {
  struct stat st {};
  // lstat: a dangling symbolic link still occupies the name.
  return lstat(NarrowPath(path).c_str(), &st) == 0;
}

bool GetVolumeSpace(const std::wstring& folder, VolumeSpace* space) {
  struct statvfs st {};
  if (statvfs(NarrowPath(folder).c_str(), &st) != 0) return false;
  space->available = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  space->total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
  return true;
}

bool RemoveEmptyDirectory(const std::wstring& path) {
  return rmdir(NarrowPath(path).c_str()) == 0;
}

bool ListDirectory(const std::wstring& folder, const std::function<bool(const DirItem&)>& visit) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(NarrowPath(folder).c_str()), closedir);
  if (!dir) return false;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) return errno == 0;
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    DirItem item;
    item.name = WidenPath(entry->d_name);
    // A symbolic link counts as a file, even one that points at a directory: a tree walk that
    // deletes what it finds must remove the link, never what the link points at.
    if (entry->d_type == DT_DIR) {
      item.is_directory = true;
    } else if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      item.is_directory = fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISDIR(st.st_mode);
    }
    if (!visit(item)) return true;
  }
}

}  // namespace velmora::platform
