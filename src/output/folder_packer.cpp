#include "output/folder_packer.h"

#include "platform/platform.h"

namespace velmora {

uint32_t FolderPacker::PackFolder(const std::wstring& folder, const std::wstring& archive_path) {
  std::wstring root = folder;
  if (root.size() > 1 && root.back() == platform::kSeparator) root.pop_back();
  root_length_ = root.size();
  archive_path_ = archive_path;

  ZipWriter writer(limits_);
  if (!writer.CreateArchive(archive_path)) return kZipOpenFailed;
  const uint32_t walked = AddTree(root, writer);
  const uint32_t closed = writer.CloseArchive();
  const uint32_t result = walked != kZipOk ? walked : closed;
  if (result != kZipOk) platform::RemoveFile(archive_path);
  return result;
}

uint32_t FolderPacker::AddTree(const std::wstring& folder, ZipWriter& writer) {
  uint32_t result = kZipOk;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    const std::wstring path = folder + platform::kSeparator + item.name;
    if (item.is_directory) {
      result = AddTree(path, writer);
    } else if (path != archive_path_) {
      // An unreadable source (0x200) or a name the writer refuses (0x10000) costs that file
      // only; a failed write ends the package.
      if (writer.AddFile(path.substr(root_length_ + 1), path) == kZipWriteFailed) {
        result = kZipWriteFailed;
      }
    }
    return result == kZipOk;
  });
  return result;
}

}  // namespace velmora
