// A streaming ZIP writer: one output file, files of the disk added one at a time as entries
// (local header, data, then the local header rewritten in place with the final CRC and
// sizes), and the central directory and end record written on closing.
//
// What is written: version made by 0x0B17, version needed 20, deflate (raw, level 8, 32 KiB
// window; flags 2) unless IsStoredSuffix holds (stored, flags 0); an entry declared as large as
// a few chunks is deflated on every core in chunks that join into one stream (chunked_deflate.h),
// smaller ones in one stream on the calling thread; an extended time stamp extra
// field on every entry (17 bytes local, 9 bytes central), no directory entries, no data
// descriptors, no comment, no encryption and no ZIP64 records. An entry added in the bare
// stored form (ZipEntryForm::kStoredBare) is stored and has no extra field at all.
//
// Limits: without ZIP64 an archive holds at most 65535 entries and 4 GiB - 1 bytes, and an
// entry at most 4 GiB - 1 bytes before compression. The writer refuses what would pass them
// with kZipWriteFailed rather than write wrapped sizes or offsets; an archive that already
// passed the byte limit cannot be completed, and CloseArchive says so.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/chunked_deflate.h"
#include "platform/platform.h"

namespace velmora {

// Result codes of AddFile and CloseArchive.
inline constexpr uint32_t kZipOk = 0;
// A file cannot be created or opened, its information cannot be read, or (a source file) its
// data cannot be read. For a source file, the entry is left out and the archive stays sound.
inline constexpr uint32_t kZipOpenFailed = 0x200;
// A write to the archive failed (header, data, rewritten header, central directory or end
// record), the archive would pass the limits above, or the stop flag of the chunking options
// was raised while a large entry was being deflated. The archive cannot be completed: every
// later AddFile and the CloseArchive report this code too.
inline constexpr uint32_t kZipWriteFailed = 0x400;
// Bad argument: no open archive, an empty entry name, or one that cannot be converted to 8-bit
// bytes or is longer than the 65535 bytes a header can name.
inline constexpr uint32_t kZipBadArgument = 0x10000;

inline constexpr size_t kZipLocalExtraSize = 17;
inline constexpr size_t kZipCentralExtraSize = 9;

// How AddFile writes an entry.
enum class ZipEntryForm {
  kUsual,  // method by IsStoredSuffix, extended time stamp extra field
  // Stored, flags 0, no extra field: the form a package's "mimetype" entry needs at the start
  // of the archive, where readers that identify files by their first bytes look for the
  // package type as plain text right after the name.
  kStoredBare,
};

// The values written into one entry's headers.
struct ZipEntryInfo {
  uint16_t version_made_by = 0x0B17;
  uint16_t version_needed = 20;
  uint16_t flags = 0;
  uint16_t method = 0;  // 0 stored, 8 deflate
  uint16_t dos_time = 0;
  uint16_t dos_date = 0;
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  std::string name;  // 8-bit bytes, "/" as separator
  std::array<uint8_t, kZipLocalExtraSize> local_extra{};
  std::array<uint8_t, kZipCentralExtraSize> central_extra{};
  bool has_extra = true;  // false: both extra fields are left out (extra field length 0)
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint32_t header_offset = 0;
};

// The format's limits; tests lower them to reach the refusals with small files.
struct ZipLimits {
  uint64_t max_archive_bytes = 0xFFFFFFFF;
  uint64_t max_entry_bytes = 0xFFFFFFFF;
  uint32_t max_entries = 0xFFFF;
};

// True when the entry is stored rather than deflated: the text from the last "." of the whole
// name (folders included) equals, ignoring case, ".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj",
// ".gz" or ".tgz". Those are compressed already.
bool IsStoredSuffix(std::string_view name);

// External attributes for a source file: the Windows attribute bits read-only, hidden, system
// and archive in the low byte, and a Unix mode in the high half (regular file, owner-read,
// owner-write unless read-only, owner-execute for a Windows executable).
uint32_t ZipExternalAttributes(uint32_t file_attributes, bool windows_executable);

class ZipWriter {
 public:
  explicit ZipWriter(ZipLimits limits = {}, ChunkedDeflateOptions chunking = {});
  ~ZipWriter() = default;  // an archive still open is closed as it stands, without directory
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Creates the archive at `path`, replacing any file of that name; write access, no sharing.
  // False (the 0x200 case) when the file cannot be created; the writer then stays closed.
  bool CreateArchive(const std::wstring& path);
  bool IsOpen() const { return out_.IsOpen(); }

  // Adds the file at `source_path` as an entry named `entry_name` ("\" or "/" separate
  // folders). Returns one of the codes above; kZipOpenFailed leaves the source out.
  uint32_t AddFile(const std::wstring& entry_name, const std::wstring& source_path,
                   ZipEntryForm form = ZipEntryForm::kUsual);

  // Writes the central directory and the end record and closes the file. kZipBadArgument when
  // no archive is open; kZipWriteFailed when the archive is incomplete or a write fails.
  uint32_t CloseArchive();

  // The entries added so far, in order (cleared by CloseArchive).
  const std::vector<ZipEntryInfo>& entries() const { return entries_; }

 private:
  enum class DataResult { kOk, kReadFailed, kWriteFailed, kTooLarge };
  // Copy or compress the source into the archive, updating the CRC-32, the bytes read and the
  // bytes written (*out) as they go.
  DataResult CopyStored(platform::File& source, uint32_t* crc, uint64_t* read, uint64_t* out);
  DataResult Deflate(platform::File& source, uint32_t* crc, uint64_t* read, uint64_t* out);
  DataResult DeflateInChunks(platform::File& source, uint32_t* crc, uint64_t* read, uint64_t* out);
  // The next chunk of the source into in_buffer_: the one AddFile read ahead, if any, else a
  // full-buffer read (short only at the end of the file). -1 on a read error.
  int64_t ReadChunk(platform::File& source);
  // Writes at the end of the archive and adds size to *counter; refuses to pass the limit.
  DataResult WriteOut(const void* data, size_t size, uint64_t* counter);

  ZipLimits limits_;
  ChunkedDeflateOptions chunking_;
  platform::File out_;
  uint64_t written_ = 0;  // bytes written so far: the offset of the next local header
  bool broken_ = false;   // a write failed or a limit was passed: the archive cannot be completed
  std::vector<ZipEntryInfo> entries_;
  std::vector<uint8_t> in_buffer_;
  size_t pending_ = 0;  // bytes of in_buffer_ read ahead and not yet handed out
  std::vector<uint8_t> out_buffer_;
};

}  // namespace velmora
