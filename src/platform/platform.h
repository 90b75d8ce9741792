// The operating-system layer of the engine: files with explicit sharing, the temporary-files
// folder, directory walks, copies, deletes, system error texts and the clock.
//
// Texts and paths are std::wstring everywhere. On Windows they are UTF-16 and go to the W
// functions unchanged. On POSIX a path's bytes are widened one byte to one code unit (and
// narrowed back the same way), so any byte string, UTF-8 or not, round-trips exactly; a code
// unit above 0xFF, which only a literal in our own code could produce, is written as UTF-8.
//
// Implementations: posix/*.cpp and win32/*.cpp. Nothing here includes windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velmora::platform {

#ifdef _WIN32
inline constexpr wchar_t kSeparator = L'\\';
#else
inline constexpr wchar_t kSeparator = L'/';
#endif

// A system error code: GetLastError() on Windows, errno on POSIX. 0 means no error.
using ErrorCode = uint32_t;

// The calling thread's last system error code.
ErrorCode LastError();

// The system's message text for an error code (FormatMessageW from the system message table,
// default language, on Windows; strerror on POSIX), without a trailing line break.
std::wstring SystemErrorText(ErrorCode code);

enum class Sharing {
  kNone,  // no other opener may read or write while we hold the file
  kRead,  // others may read
};

// Attribute bits as Windows reports them; POSIX maps what it has (read-only from the write
// permission bit, hidden from a leading dot, archive always set for regular files).
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;

struct FileInfo {
  uint32_t attributes = 0;
  uint64_t size = 0;
  // UTC, seconds since 1970-01-01.
  int64_t write_time = 0;
  int64_t access_time = 0;
  int64_t creation_time = 0;
};

// An open file; closes itself. Move-only.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file for reading. On failure the result is not open and LastError()
  // holds the reason (for example a sharing violation when another process holds the file
  // without sharing, on Windows).
  static File OpenRead(const std::wstring& path, Sharing sharing);
  // Creates the file, or truncates an existing one; read and write access, no sharing.
  static File Create(const std::wstring& path);
  // Creates the file only when nothing is at the path yet (the check and the creation are one
  // step); read and write access, no sharing. Not open when something is there already or the
  // file cannot be created; LastError() tells which.
  static File CreateNew(const std::wstring& path);
  // True when `code` says that CreateNew failed because something is at the path.
  static bool ExistsError(ErrorCode code);
#ifndef _WIN32
  // POSIX only: takes over an open descriptor (closed with the File).
  static File FromDescriptor(int fd);
#endif

  bool IsOpen() const;
  // Reads up to n bytes, retrying short reads until n bytes or the end of the file.
  // Returns the number of bytes read (0 at the end), or -1 on error.
  int64_t Read(void* buffer, size_t n);
  // Writes all n bytes; false when any could not be written.
  bool Write(const void* buffer, size_t n);
  // Writes all n bytes at `position`, then leaves the file position where it was (one call on
  // POSIX). False when any could not be written.
  bool WriteAt(uint64_t position, const void* buffer, size_t n);
  bool Seek(uint64_t position);
  // The current position, or -1 on error.
  int64_t Position();
  // The file's length, or -1 on error.
  int64_t Size();
  // Cuts the file to `size` bytes (or extends it with zeros) and leaves the position at the
  // new end, so that what is written next follows it. The file must be open for writing.
  bool Truncate(uint64_t size);
  bool GetInfo(FileInfo* info);
  // The same for a file opened by `path`, which names it without asking the system again.
  bool GetInfo(FileInfo* info, const std::wstring& path);
  void Close();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // HANDLE; nullptr when closed (never INVALID_HANDLE_VALUE)
#else
  int fd_ = -1;
#endif
};

// The user's temporary-files folder, ending with a separator (GetTempPathW on Windows;
// $TMPDIR or /tmp on POSIX).
std::wstring TempFolder();

// Creates a new, empty, uniquely named file in `folder` whose name starts with `prefix`
// (GetTempFileNameW with unique number 0 on Windows: prefix, hex digits, ".tmp"; the same
// shape on POSIX). Returns its full path, or an empty text on failure.
std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix);
// The same, and the file stays open in *opened (read and write access) so that it need not be
// opened again.
std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix, File* opened);

enum class MakeDirResult { kCreated, kAlreadyExists, kFailed };
// Creates one directory (its parent must exist). On kFailed, *error holds the code.
MakeDirResult MakeDirectory(const std::wstring& path, ErrorCode* error = nullptr);

// `folder` and `name` with one separator between them. The folder is taken as it is: a
// separator already at its end is not dropped (see WithTrailingSeparator).
std::wstring JoinPath(const std::wstring& folder, std::wstring_view name);
// The folder with a separator at its end, added only when it is missing (an empty text gets
// one too).
std::wstring WithTrailingSeparator(std::wstring folder);

// Makes the folder at `path` and each folder above it that is missing, from the top down: a
// folder that is there already is passed over, and so is any other item of that name (to
// find out whether the path is a folder now is the caller's business). The first
// `known_length` characters of the path name a folder that exists and are not looked at. On
// Windows "/" separates folders too. False at the first folder that cannot be made, with its
// code in *error; the ones below it are not tried.
bool MakeDirectories(const std::wstring& path, ErrorCode* error = nullptr, size_t known_length = 0);

bool IsDirectory(const std::wstring& path);
// True when anything (file or directory) exists at the path.
bool PathExists(const std::wstring& path);
bool RemoveFile(const std::wstring& path);
// Removes an empty directory; false when it is not empty or cannot be removed.
bool RemoveEmptyDirectory(const std::wstring& path);
// Copies a file, replacing an existing target.
bool CopyFileReplacing(const std::wstring& from, const std::wstring& to);
// Renames a file, replacing an existing target.
bool RenameReplacing(const std::wstring& from, const std::wstring& to);

// The space of the volume that holds a folder: the bytes the caller may still write there
// (quotas and reserved blocks taken off) and the volume's size. statvfs on POSIX,
// GetDiskFreeSpaceExW on Windows.
struct VolumeSpace {
  uint64_t available = 0;
  uint64_t total = 0;
};
// False when the folder's volume cannot be asked (the folder does not exist, ...).
bool GetVolumeSpace(const std::wstring& folder, VolumeSpace* space);

struct DirItem {
  std::wstring name;  // the item's name only, never "." or ".."
  bool is_directory = false;
};
// Calls `visit` for every item of the folder, in the order the system lists them
// (FindFirstFileW/FindNextFileW on Windows, readdir on POSIX). `visit` returns false to stop
// the walk early. Returns false when the folder cannot be listed.
bool ListDirectory(const std::wstring& folder, const std::function<bool(const DirItem&)>& visit);

// The difference local time minus UTC in force now, in seconds.
int64_t LocalUtcOffsetNow();

#ifndef _WIN32
// POSIX only: the byte string of a path text, and back (see the top of this file).
std::string NarrowPath(const std::wstring& path);
std::wstring WidenPath(const std::string& bytes);
#endif

}  // namespace velmora::platform
