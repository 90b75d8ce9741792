// Whole-file operations: remove, copy and rename.
#define _FILE_OFFSET_BITS 64

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/platform.h"

namespace velmora::platform {

namespace {

// Closes a descriptor on every road out, keeping errno for the caller.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int d) : fd(d) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) {
      int saved = errno;
      close(fd);
      errno = saved;
    }
  }
};

bool CopyContents(int from, int to) {
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    ssize_t got = read(from, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    ssize_t done = 0;
    while (done < got) {
      ssize_t put = write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += put;
    }
  }
}

}  // namespace

bool RemoveFile(const std::wstring& path) {
  return unlink(NarrowPath(path).c_str()) == 0;
}

bool CopyFileReplacing(const std::wstring& from, const std::wstring& to) {
  Descriptor source(open(NarrowPath(from).c_str(), O_RDONLY | O_CLOEXEC));
  if (source.fd < 0) return false;
  struct stat from_stat {};
  if (fstat(source.fd, &from_stat) != 0) return false;
  if (S_ISDIR(from_stat.st_mode)) {
    errno = EISDIR;
    return false;
  }
  const std::string target_path = NarrowPath(to);
  // Not O_TRUNC: copying a file onto itself must fail, not empty the file before reading it.
  Descriptor target(open(target_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (target.fd < 0) return false;
  struct stat to_stat {};
  if (fstat(target.fd, &to_stat) != 0) return false;
  if (to_stat.st_dev == from_stat.st_dev && to_stat.st_ino == from_stat.st_ino) {
    errno = EINVAL;
    return false;
  }
  if (ftruncate(target.fd, 0) != 0 || !CopyContents(source.fd, target.fd)) {
    // No half-written copy is left behind under the target's name.
    int saved = errno;
    unlink(target_path.c_str());
    errno = saved;
    return false;
  }
  // Like the Windows copy: the copy keeps the source's permissions and last write time.
  fchmod(target.fd, from_stat.st_mode & 0777);
  const struct timespec times[2] = {{0, UTIME_OMIT}, from_stat.st_mtim};
  futimens(target.fd, times);
  // Some file systems report a failed write-back only at close.
  int fd = target.fd;
  target.fd = -1;
  if (close(fd) != 0) {
    int saved = errno;
    unlink(target_path.c_str());
    errno = saved;
    return false;
  }
  return true;
}

bool RenameReplacing(const std::wstring& from, const std::wstring& to) {
  return rename(NarrowPath(from).c_str(), NarrowPath(to).c_str()) == 0;
}

}  // namespace velmora::platform
