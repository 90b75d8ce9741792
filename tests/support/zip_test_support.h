// Helpers for the tests of the archive writer and its neighbours: a scratch folder, whole-file
// reads and writes, an independent reader of the archives we write, and the ZIP tools of the
// machine as second opinions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace velmora::ziptest {

// The scratch folder and tree removal every test uses.
using test::RemoveTree;
using test::ScratchFolder;

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// The whole file, or "<missing>" when it cannot be opened.
std::string ReadBytes(const std::wstring& path);
// Bytes that deflate hardly shrinks, and bytes it shrinks a lot.
std::string NoiseBytes(size_t size, uint32_t seed);
std::string TextBytes(size_t size);

// Text to 8-bit bytes as entry names are written (byte by byte on POSIX, the ANSI code page on
// Windows), and ASCII or path bytes back to text.
std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& bytes);

// Names of a folder's items in the order the system lists them.
std::vector<std::wstring> ListedNames(const std::wstring& folder);

struct ParsedEntry {
  // Local header.
  uint16_t local_version_needed = 0;
  uint16_t local_flags = 0;
  uint16_t local_method = 0;
  uint16_t local_time = 0;
  uint16_t local_date = 0;
  uint32_t local_crc = 0;
  uint32_t local_compressed = 0;
  uint32_t local_uncompressed = 0;
  std::string local_extra;
  // Central header.
  uint16_t version_made_by = 0;
  uint16_t version_needed = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dos_time = 0;
  uint16_t dos_date = 0;
  uint32_t crc = 0;
  uint32_t compressed = 0;
  uint32_t uncompressed = 0;
  uint16_t comment_length = 0;
  uint16_t disk_start = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint32_t offset = 0;
  std::string name;
  std::string central_extra;
  // The entry's data as stored, and unpacked (inflated for method 8).
  std::string raw;
  std::string data;
};

struct ParsedArchive {
  std::string error;  // empty when the archive reads cleanly
  uint16_t disk = 0;
  uint16_t directory_disk = 0;
  uint16_t entries_on_disk = 0;
  uint16_t total_entries = 0;
  uint32_t directory_size = 0;
  uint32_t directory_offset = 0;
  uint16_t comment_length = 0;
  std::vector<ParsedEntry> entries;
};

// Reads an archive of the shape we write: end record at the very end (no comment), central
// headers, and for each the local header it points at, whose data must inflate to the sizes and
// CRC-32 the headers give. Any inconsistency is described in `error`.
ParsedArchive ParseArchive(const std::string& bytes);

// The complaints of the ZIP tools found on this machine (unzip -t, bsdtar, 7z, Python's
// zipfile) about the archive at `path`; empty when all accept it or none is installed. Always
// empty on Windows.
std::vector<std::string> ExternalReaderComplaints(const std::wstring& path);
// The names of those tools that are installed, or that are not (all of them on Windows). A
// test reports the missing ones as a skip, so that their silence above is never taken for
// their consent.
std::vector<std::string> ExternalReaders(bool installed);

// What `file -b` (libmagic, which looks at the first bytes) says the file is, without the line
// break; empty when `file` is not installed, and always on Windows.
std::string FileTypeOf(const std::wstring& path);

}  // namespace velmora::ziptest
