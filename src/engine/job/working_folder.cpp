#include "engine/job/working_folder.h"

#include <mutex>
#include <vector>

#include "engine/extract/entry_path.h"
#include "engine/job/job_texts.h"
#include "engine/scan/document_split.h"
#include "platform/platform.h"

namespace velmora {

namespace {

std::mutex override_mutex;
std::wstring& OverridePath() {
  static std::wstring path;
  return path;
}

std::wstring NativeSeparators(std::wstring path) {
  for (wchar_t& c : path)
    if (c == L'\\') c = platform::kSeparator;
  return path;
}

}  // namespace

std::wstring GetWorkingFolderPath() {
  {
    std::lock_guard lock(override_mutex);
    if (!OverridePath().empty()) return OverridePath();
  }
  return platform::TempFolder() + L"ClcTemp";
}

void SetWorkingFolderOverride(const std::wstring& path) {
  std::lock_guard lock(override_mutex);
  OverridePath() = path;
}

std::wstring FileFolderPath(const std::wstring& listed_path, int position) {
  return platform::JoinPath(GetWorkingFolderPath(),
                            FileNameOf(listed_path) + std::to_wstring(position));
}

size_t DocumentFolderCount(const std::wstring& file_folder) {
  size_t count = 1;
  while (count < kMaxDocuments && platform::IsDirectory(file_folder + DocumentSuffix(count))) {
    ++count;
  }
  return count;
}

void CreatePathDirectories(JobWindow& view, const std::wstring& base, std::wstring& relative) {
  const std::wstring safe = SafeEntryPath(relative, kWindowsNameRules);
  if (safe.empty()) {
    relative.clear();
    return;
  }
  const std::wstring native = NativeSeparators(safe);
  const size_t cut = safe.rfind(L'\\');
  platform::ErrorCode error = 0;
  // MakeDirectories stops at the first folder it cannot make: every folder below it would
  // fail for the same reason, and a name of hundreds of folders must not hold the job with
  // hundreds of message boxes.
  if (cut != std::wstring::npos &&
      !platform::MakeDirectories(base + native.substr(0, cut), &error, base.size())) {
    view.ShowMessageBox(BoxOwner::kNone, platform::SystemErrorText(error), kMbInformation);
  }
  relative = base + native;
}

void DeleteFolderTree(const std::wstring& folder) {
  const std::wstring prefix = platform::WithTrailingSeparator(folder);
  // The listing is taken whole before anything is deleted, so the walk never reads a folder
  // that is changing under it.
  std::vector<platform::DirItem> items;
  platform::ListDirectory(prefix, [&](const platform::DirItem& item) {
    items.push_back(item);
    return true;
  });
  for (const platform::DirItem& item : items) {
    const std::wstring path = prefix + item.name;
    if (item.is_directory) {
      DeleteFolderTree(path);
      platform::RemoveEmptyDirectory(path);
    } else {
      platform::RemoveFile(path);
    }
  }
}

void DiscardWorkingFolder(JobWindow& view) {
  const std::wstring folder = GetWorkingFolderPath();
  if (!platform::IsDirectory(folder)) return;
  view.ShowPreview(L"", kPreviewBlank);
  DeleteFolderTree(folder);
  platform::RemoveEmptyDirectory(folder);
}

}  // namespace velmora
