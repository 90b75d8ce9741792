// Packs a folder tree into one new archive, each file an entry named by its path relative to
// the folder ("/" between folders; folders themselves get no entry). A file "mimetype" at the
// folder's root is the package's type: it becomes the first entry, stored and without extra
// field, as document packages require; every other file keeps its place in the walk.
#pragma once

#include <cstdint>
#include <string>

#include "output/zip_writer.h"
#include "platform/platform.h"

namespace velmora {

// The root file that names a document package's type.
inline constexpr wchar_t kPackageTypeName[] = L"mimetype";

class FolderPacker {
 public:
  // Tests lower the limits to reach the refusals with small trees.
  explicit FolderPacker(ZipLimits limits = {}) : limits_(limits) {}

  // Packs every file below `folder` (no trailing separator) into a new archive at
  // `archive_path`, replacing any file there. Returns 0 when the package was created and every
  // write succeeded: a source file that cannot be opened or read is left out and does not
  // count as a failure, and a missing folder gives an archive without entries. Otherwise the
  // writer's code: kZipOpenFailed (0x200) when the package cannot be created (nothing is
  // written), kZipWriteFailed (0x400) when a write failed or the package would pass the
  // format's limits; the broken package is then deleted, never left looking like a good one.
  uint32_t PackFolder(const std::wstring& folder, const std::wstring& archive_path);

 private:
  // The root folder: its type file first, then as AddTree.
  uint32_t AddRoot(const std::wstring& root, ZipWriter& writer);
  // Adds the files of `folder` in the order the system lists them, walking each subfolder at
  // its place in the listing. Stops at the first failed write and returns its code.
  uint32_t AddTree(const std::wstring& folder, ZipWriter& writer);
  // One listed item: a folder is walked, a file added in `form`.
  uint32_t AddItem(const std::wstring& folder, const platform::DirItem& item, ZipWriter& writer,
                   ZipEntryForm form);

  ZipLimits limits_;
  size_t root_length_ = 0;     // characters of the folder being packed
  std::wstring archive_path_;  // never packed into itself, should it lie inside the folder
};

}  // namespace velmora
