#include "output/preview_lookup.h"

#include <new>
#include <string>

#include "engine/job/job_texts.h"
#include "engine/job/working_folder.h"
#include "output/media_extractor.h"
#include "platform/platform.h"

namespace velmora {

namespace {

// Shows the first media file below `folder` with `code`; true once one is shown, which stops
// every level.
bool FindPreviewImage(JobWindow& view, const std::wstring& folder, PreviewCode code) {
  bool found = false;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    const std::wstring path = platform::JoinPath(folder, item.name);
    if (item.is_directory) {
      found = FindPreviewImage(view, path, code);
    } else if (IsMediaFile(item.name)) {
      view.ShowPreview(path, code);
      found = true;
    }
    return !found;
  });
  return found;
}

}  // namespace

int OnPreviewRequest(JobWindow& view, int position) {
  const std::wstring working = GetWorkingFolderPath();
  if (!platform::IsDirectory(working)) {
    view.ShowPreview(L"", kPreviewNotRepaired);
    return 0;
  }
  const std::wstring folder = FileFolderPath(view.FileText(position), position);
  const bool several = DocumentFolderCount(folder) > 1;
  // No sheet data came back (or the file was not repaired at all): its stored thumbnail
  // would show a table of which nothing came back, so no picture is shown.
  const Verdict verdict = view.GetFileVerdict(position).verdict;
  if (verdict == Verdict::kLost || verdict == Verdict::kNotRepaired) {
    view.ShowPreview(L"", several ? kPreviewSeveralDocuments : kPreviewBlank);
    return 0;
  }
  const PreviewCode picture_code = several ? kPreviewSeveralDocuments : kPreviewBlank;
  const std::wstring thumbnail =
      platform::JoinPath(platform::JoinPath(folder, L"Thumbnails"), L"thumbnail.png");
  if (platform::PathExists(thumbnail)) {
    view.ShowPreview(thumbnail, picture_code);
    return 1;
  }
  bool found = false;
  try {
    found = FindPreviewImage(view, folder, picture_code);
  } catch (const std::bad_alloc&) {
    found = false;
  }
  if (found) return 1;
  view.ShowPreview(L"", several ? kPreviewSeveralDocuments : kPreviewNoPicture);
  return 0;
}

}  // namespace velmora
