// File: a Win32 file handle with explicit share modes.
#include <windows.h>

#include "platform/platform.h"

namespace velmora::platform {

namespace {

// ReadFile and WriteFile take 32-bit counts; larger requests go in pieces of this size.
constexpr size_t kMaxPiece = 1u << 30;

// FILETIME counts 100-ns ticks from 1601-01-01; this many of them lie before 1970-01-01.
constexpr int64_t kTicksTo1970 = 116444736000000000;
constexpr int64_t kTicksPerSecond = 10000000;

int64_t UnixSeconds(const FILETIME& time) {
  const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                             time.dwLowDateTime) -
                        kTicksTo1970;
  // Round towards minus infinity so that a time before 1970 keeps its second.
  int64_t seconds = ticks / kTicksPerSecond;
  if (ticks % kTicksPerSecond < 0) --seconds;
  return seconds;
}

HANDLE Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE handle = CreateFileW(path.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

File File::OpenRead(const std::wstring& path, Sharing sharing) {
  File file;
  file.handle_ =
      Open(path, GENERIC_READ, sharing == Sharing::kRead ? FILE_SHARE_READ : 0, OPEN_EXISTING);
  return file;
}

File File::Create(const std::wstring& path) {
  File file;
  file.handle_ = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  return file;
}

File File::CreateNew(const std::wstring& path) {
  File file;
  file.handle_ = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  return file;
}

bool File::ExistsError(ErrorCode code) {
  return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

bool File::IsOpen() const {
  return handle_ != nullptr;
}

int64_t File::Read(void* buffer, size_t n) {
  if (handle_ == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < n) {
    const size_t ask = n - done < kMaxPiece ? n - done : kMaxPiece;
    DWORD got = 0;
    if (!ReadFile(handle_, out + done, static_cast<DWORD>(ask), &got, nullptr)) return -1;
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

bool File::Write(const void* buffer, size_t n) {
  if (handle_ == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    const size_t ask = n - done < kMaxPiece ? n - done : kMaxPiece;
    DWORD put = 0;
    if (!WriteFile(handle_, in + done, static_cast<DWORD>(ask), &put, nullptr)) return false;
    if (put == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += put;
  }
  return true;
}

bool File::WriteAt(uint64_t position, const void* buffer, size_t n) {
  // A synchronous handle moves its pointer with every write: remember it and go back.
  const int64_t at = Position();
  return at >= 0 && Seek(position) && Write(buffer, n) && Seek(static_cast<uint64_t>(at));
}

bool File::Seek(uint64_t position) {
  if (position > static_cast<uint64_t>(INT64_MAX)) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  return handle_ != nullptr && SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN);
}

int64_t File::Position() {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER at;
  if (handle_ == nullptr || !SetFilePointerEx(handle_, zero, &at, FILE_CURRENT)) return -1;
  return at.QuadPart;
}

int64_t File::Size() {
  LARGE_INTEGER size;
  if (handle_ == nullptr || !GetFileSizeEx(handle_, &size)) return -1;
  return size.QuadPart;
}

bool File::Truncate(uint64_t size) {
  // SetEndOfFile cuts (or extends) the file at the file pointer, which stays there.
  return Seek(size) && SetEndOfFile(handle_);
}

bool File::GetInfo(FileInfo* info, const std::wstring&) {
  return GetInfo(info);
}

bool File::GetInfo(FileInfo* info) {
  BY_HANDLE_FILE_INFORMATION data;
  if (handle_ == nullptr || !GetFileInformationByHandle(handle_, &data)) return false;
  info->attributes = data.dwFileAttributes;
  info->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->write_time = UnixSeconds(data.ftLastWriteTime);
  info->access_time = UnixSeconds(data.ftLastAccessTime);
  info->creation_time = UnixSeconds(data.ftCreationTime);
  return true;
}

void File::Close() {
  if (handle_ != nullptr) {
    // The handle is gone whatever CloseHandle says; keep the caller's error for its own report.
    const DWORD saved = GetLastError();
    CloseHandle(handle_);
    SetLastError(saved);
    handle_ = nullptr;
  }
}

}  // namespace velmora::platform
