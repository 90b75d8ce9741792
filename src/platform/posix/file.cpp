// File: a file descriptor opened with open(2).
//
// POSIX has no mandatory share modes: Sharing::kNone cannot keep other processes from opening
// the file, so on this platform both sharing modes open the file the same way. (Advisory locks
// would only stop programs that ask for them, and would make our own reopen of a file fail.)

// 64-bit file positions on 32-bit systems too; must come before any system header.
#define _FILE_OFFSET_BITS 64

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"

namespace velmora::platform {

static_assert(sizeof(off_t) >= 8, "file positions must be 64-bit");

namespace {

// The name the descriptor was opened with, from /proc; empty where /proc is not mounted.
std::string NameOfDescriptor(int fd) {
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  char buffer[PATH_MAX];
  ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n <= 0) return {};
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int64_t BirthTimeOf(int fd, const struct stat& st) {
#ifdef STATX_BTIME
  struct statx sx {};
  if (statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME) != 0) {
    return static_cast<int64_t>(sx.stx_btime.tv_sec);
  }
#else
  (void)fd;
#endif
  // No birth time on this file system: the last write is the nearest honest value (the status
  // change time is often later than every write).
  return static_cast<int64_t>(st.st_mtime);
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

File File::OpenRead(const std::wstring& path, Sharing) {
  File file;
  file.fd_ = open(NarrowPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  return file;
}

File File::Create(const std::wstring& path) {
  File file;
  // No O_TRUNC: on ext4 truncating an existing file, even an empty one such as a fresh
  // temporary file, makes its close start writeback, and deleting it soon after then waits
  // for the disk. Only a file that holds bytes is cut.
  file.fd_ = open(NarrowPath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (file.fd_ < 0) return file;
  struct stat info;
  if (fstat(file.fd_, &info) != 0 || (info.st_size > 0 && ftruncate(file.fd_, 0) != 0)) {
    const int error = errno;
    file.Close();
    errno = error;
  }
  return file;
}

File File::CreateNew(const std::wstring& path) {
  File file;
  file.fd_ = open(NarrowPath(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  return file;
}

bool File::ExistsError(ErrorCode code) {
  return code == EEXIST;
}

File File::FromDescriptor(int fd) {
  File file;
  file.fd_ = fd;
  return file;
}

bool File::IsOpen() const {
  return fd_ >= 0;
}

int64_t File::Read(void* buffer, size_t n) {
  if (fd_ < 0) {
    errno = EBADF;
    return -1;
  }
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < n) {
    size_t ask = n - done;
    if (ask > static_cast<size_t>(SSIZE_MAX)) ask = static_cast<size_t>(SSIZE_MAX);
    ssize_t got = read(fd_, out + done, ask);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

bool File::WriteAt(uint64_t position, const void* buffer, size_t n) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    size_t ask = n - done;
    if (ask > static_cast<size_t>(SSIZE_MAX)) ask = static_cast<size_t>(SSIZE_MAX);
    ssize_t put = pwrite(fd_, in + done, ask, static_cast<off_t>(position + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

bool File::Write(const void* buffer, size_t n) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    size_t ask = n - done;
    if (ask > static_cast<size_t>(SSIZE_MAX)) ask = static_cast<size_t>(SSIZE_MAX);
    ssize_t put = write(fd_, in + done, ask);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

bool File::Seek(uint64_t position) {
  if (position > static_cast<uint64_t>(INT64_MAX)) {
    errno = EINVAL;
    return false;
  }
  return lseek(fd_, static_cast<off_t>(position), SEEK_SET) >= 0;
}

int64_t File::Position() {
  off_t at = lseek(fd_, 0, SEEK_CUR);
  return at < 0 ? -1 : static_cast<int64_t>(at);
}

int64_t File::Size() {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool File::Truncate(uint64_t size) {
  if (size > static_cast<uint64_t>(INT64_MAX)) {
    errno = EINVAL;
    return false;
  }
  int result;
  do {
    result = ftruncate(fd_, static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  return result == 0 && lseek(fd_, static_cast<off_t>(size), SEEK_SET) >= 0;
}

bool File::GetInfo(FileInfo* info) {
  return GetInfo(info, WidenPath(NameOfDescriptor(fd_)));
}

bool File::GetInfo(FileInfo* info, const std::wstring& path) {
  struct stat st {};
  int64_t birth = 0;
  bool have_birth = false;
#ifdef STATX_BTIME
  // One call gives the status and the birth time together.
  struct statx sx {};
  if (statx(fd_, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    st.st_mode = sx.stx_mode;
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_mtime = static_cast<time_t>(sx.stx_mtime.tv_sec);
    st.st_atime = static_cast<time_t>(sx.stx_atime.tv_sec);
    have_birth = (sx.stx_mask & STATX_BTIME) != 0;
    birth = static_cast<int64_t>(sx.stx_btime.tv_sec);
    if (!have_birth) {
      // No birth time on this file system: the last write is the nearest honest value (the
      // status change time is often later than every write).
      birth = static_cast<int64_t>(st.st_mtime);
      have_birth = true;
    }
  } else
#endif
  {
    if (fstat(fd_, &st) != 0) return false;
  }
  FileInfo result;
  if (S_ISDIR(st.st_mode)) {
    result.attributes |= kAttrDirectory;
  } else {
    result.attributes |= kAttrArchive;
  }
  if ((st.st_mode & S_IWUSR) == 0) result.attributes |= kAttrReadOnly;
  const size_t slash = path.rfind(L'/');
  const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  if (!name.empty() && name[0] == L'.') result.attributes |= kAttrHidden;
  result.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  result.write_time = static_cast<int64_t>(st.st_mtime);
  result.access_time = static_cast<int64_t>(st.st_atime);
  result.creation_time = have_birth ? birth : BirthTimeOf(fd_, st);
  *info = result;
  return true;
}

void File::Close() {
  if (fd_ >= 0) {
    // The descriptor is gone whatever close() says; keep the caller's errno for its own report.
    int saved = errno;
    close(fd_);
    errno = saved;
    fd_ = -1;
  }
}

}  // namespace velmora::platform
