// The view's handlers that change the file list: Select files, drops, the command line, and
// Remove files; and the workflow steps they lead to.
#include "ui/view/velmora_view.h"

#include <shellapi.h>
#include <wchar.h>

#include <algorithm>
#include <cwctype>
#include <set>

#include "engine/job/job_texts.h"
#include "engine/job/markup_escape.h"
#include "engine/job/workflow_steps.h"
#include "engine/job/working_folder.h"
#include "engine/scan/document_split.h"
#include "platform/platform.h"
#include "ui/dialogs/dialogs.h"
#include "ui/frame/main_frame.h"
#include "ui/resource_ids.h"
#include "winfw/handles.h"

namespace velmora::ui {

namespace {

std::wstring Trim(const std::wstring& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::iswspace(s[a])) ++a;
  while (b > a && std::iswspace(s[b - 1])) --b;
  return s.substr(a, b - a);
}

bool ContainsOdsIgnoringCase(const std::wstring& name) {
  std::wstring lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return lower.find(L".ods") != std::wstring::npos;
}

}  // namespace

void CVelmoraView::DiscardWorkingFolder() {
  velmora::DiscardWorkingFolder(*this);
}

void CVelmoraView::ApplyCreatedStep() {
  ApplyStep(*this, WorkflowStep::kCreated);
  DiscardWorkingFolder();
}

void CVelmoraView::ApplyListEmptiedStep() {
  ShowPreview(L"", kPreviewBlank);
  const std::wstring folder = GetWorkingFolderPath();
  DeleteFolderTree(folder);
  platform::RemoveEmptyDirectory(folder);
  ApplyStep(*this, WorkflowStep::kListEmptied);
}

void CVelmoraView::OnSelectFiles() {
  winfw::WaitCursor wait;
  std::vector<std::wstring> paths;
  if (!CurrentDialogs().OpenFiles(hwnd(), paths)) return;
  AddFiles(paths);
}

void CVelmoraView::AddFiles(const std::vector<std::wstring>& paths) {
  winfw::WaitCursor wait;
  DiscardWorkingFolder();
  if (m_bRepairRan) {
    list_.DeleteAll();
    m_bRepairRan = false;
  }
  SetLogText(kLogFilesAdded);
  if (paths.empty()) return;
  ShowPreview(L"", kPreviewFilesAdded);
  // The names listed, compared as IsNewPath compares them, so that each new name is looked
  // up at once rather than against every item; and the list drawn once, at the end, rather
  // than after every insertion.
  auto less = [](const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
  };
  std::set<std::wstring, decltype(less)> listed(less);
  for (int i = 0, n = list_.Count(); i < n; ++i) listed.insert(list_.ItemText(i));
  SendMessageW(list_.hwnd(), WM_SETREDRAW, FALSE, 0);
  for (const std::wstring& path : paths) {
    if (listed.insert(path).second) {
      list_.Append(path, kImageAdded);
    } else {
      // The list is drawn before the box covers it.
      SendMessageW(list_.hwnd(), WM_SETREDRAW, TRUE, 0);
      ShowMessageBox(BoxOwner::kView, EscapeMarkup(path) + L"already exist in the list.",
                     kMbInformation);
      SendMessageW(list_.hwnd(), WM_SETREDRAW, FALSE, 0);
    }
  }
  SendMessageW(list_.hwnd(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_.hwnd(), nullptr, TRUE);
  ApplyStep(*this, WorkflowStep::kFilesAdded);
}

void CVelmoraView::OnDropFiles(HDROP drop) {
  std::vector<std::wstring> paths;
  // A drop while a job runs would change the list under it: it is ignored.
  if (!JobBusy() && m_bSelectAllowed) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      wchar_t name[520] = {};
      DragQueryFileW(drop, i, name, 520);
      const std::wstring path = Trim(name);
      if (ContainsOdsIgnoringCase(path)) paths.push_back(path);
    }
  }
  DragFinish(drop);
  if (!paths.empty()) AddFiles(paths);
}

void CVelmoraView::OnRemoveFiles() {
  if (list_.FirstSelected() == -1) {
    ShowMessageBox(BoxOwner::kView, L"No file(s) selected to remove.", kMbInformation);
    return;
  }
  for (int n = list_.FirstSelected(); n != -1; n = list_.FirstSelected()) {
    ShowPreview(L"", kPreviewBlank);
    // Every folder of the item goes: its own and those of its further documents ("~2", ...),
    // so that none is left where the next item to take this place would find it.
    const std::wstring folder = FileFolderPath(list_.ItemText(n), n);
    for (size_t d = 0; d < kMaxDocuments; ++d) {
      const std::wstring document = folder + DocumentSuffix(d);
      if (platform::IsDirectory(document)) {
        DeleteFolderTree(document);
        platform::RemoveEmptyDirectory(document);
      }
    }
    // The items after the removed one move up a place: their folders, those of their further
    // documents too, follow them, so their repair results (preview, save) stay theirs.
    const int count = list_.Count();
    for (int k = n + 1; k < count; ++k) {
      const std::wstring text = list_.ItemText(k);
      const std::wstring from = FileFolderPath(text, k);
      const std::wstring to = FileFolderPath(text, k - 1);
      for (size_t d = 0; d < kMaxDocuments; ++d) {
        const std::wstring suffix = DocumentSuffix(d);
        if (platform::IsDirectory(from + suffix)) {
          MoveFileW((from + suffix).c_str(), (to + suffix).c_str());
        }
      }
    }
    list_.Delete(n);
  }
  if (list_.Count() > 0) {
    ShowPreview(L"", kPreviewSelectFile);
  } else {
    ApplyListEmptiedStep();
  }
}

}  // namespace velmora::ui
