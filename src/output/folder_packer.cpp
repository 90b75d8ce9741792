#include "output/folder_packer.h"

#include <algorithm>
#include <vector>

#include "platform/platform.h"

namespace velmora {

uint32_t FolderPacker::PackFolder(const std::wstring& folder, const std::wstring& archive_path) {
  std::wstring root = folder;
  if (root.size() > 1 && root.back() == platform::kSeparator) root.pop_back();
  root_length_ = root.size();
  archive_path_ = archive_path;

  ZipWriter writer(limits_);
  if (!writer.CreateArchive(archive_path)) return kZipOpenFailed;
  const uint32_t walked = AddRoot(root, writer);
  const uint32_t closed = writer.CloseArchive();
  const uint32_t result = walked != kZipOk ? walked : closed;
  if (result != kZipOk) platform::RemoveFile(archive_path);
  return result;
}

uint32_t FolderPacker::AddRoot(const std::wstring& root, ZipWriter& writer) {
  std::vector<platform::DirItem> items;
  platform::ListDirectory(root, [&](const platform::DirItem& item) {
    items.push_back(item);
    return true;
  });
  // The package type goes first, stored and bare, so that the archive's first bytes name it;
  // everything else follows in listing order.
  auto is_type = [](const platform::DirItem& item) {
    return !item.is_directory && item.name == kPackageTypeName;
  };
  auto type = std::find_if(items.begin(), items.end(), is_type);
  if (type != items.end()) {
    uint32_t result = AddItem(root, *type, writer, ZipEntryForm::kStoredBare);
    if (result != kZipOk) return result;
    items.erase(type);
  }
  for (const platform::DirItem& item : items) {
    uint32_t result = AddItem(root, item, writer, ZipEntryForm::kUsual);
    if (result != kZipOk) return result;
  }
  return kZipOk;
}

uint32_t FolderPacker::AddTree(const std::wstring& folder, ZipWriter& writer) {
  uint32_t result = kZipOk;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    result = AddItem(folder, item, writer, ZipEntryForm::kUsual);
    return result == kZipOk;
  });
  return result;
}

uint32_t FolderPacker::AddItem(const std::wstring& folder, const platform::DirItem& item,
                               ZipWriter& writer, ZipEntryForm form) {
  const std::wstring path = platform::JoinPath(folder, item.name);
  if (item.is_directory) return AddTree(path, writer);
  if (path == archive_path_) return kZipOk;
  // An unreadable source (0x200) or a name the writer refuses (0x10000) costs that file only;
  // a failed write ends the package.
  if (writer.AddFile(path.substr(root_length_ + 1), path, form) == kZipWriteFailed) {
    return kZipWriteFailed;
  }
  return kZipOk;
}

}  // namespace velmora
