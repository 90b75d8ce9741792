// The view's handlers that start, stop and feed the jobs: Repair, Save, Stop, the preview
// request and the destination's folder browser.
#include "ui/view/velmora_view.h"

#include <shlwapi.h>

#include <cwctype>

#include "engine/job/repair_job.h"
#include "output/preview_lookup.h"
#include "output/save_job.h"
#include "ui/dialogs/dialogs.h"
#include "ui/frame/main_frame.h"
#include "ui/list/verdict_text.h"

namespace velmora::ui {

bool CVelmoraView::JobBusy() const {
  return frame_.job_running().load() != 0 || frame_.WorkerBusy();
}

void CVelmoraView::OnRepairFiles() {
  // A stopped run may still be finishing its file: one job at a time.
  if (JobBusy()) return;
  velmora::OnRepairFiles(context(), frame_.worker(), frame_.JobEndNotice());
}

void CVelmoraView::OnSaveFiles() {
  if (frame_.WorkerBusy() && frame_.job_running().load() == 0) {
    // The previous job was stopped and has not ended yet: the same answer as while it runs.
    ShowMessageBox(BoxOwner::kView, L"Please stop the running process before saving the file(s).",
                   kMbInformation);
    return;
  }
  velmora::OnSaveFiles(context(), frame_.worker(), frame_.JobEndNotice());
}

void CVelmoraView::OnStop() {
  velmora::OnStop(context());
}

void CVelmoraView::OnPreviewRequest(int position) {
  velmora::OnPreviewRequest(*this, position);
  // The lookup has chosen what to show from the verdict; the pane adds its words, unless the
  // repair's results are gone (no working folder).
  if (picture_.code() == kPreviewNotRepaired) return;
  const FileVerdict verdict = list_.ItemVerdict(position);
  picture_.SetVerdict(verdict.verdict, VerdictLine(verdict));
  InvalidateRect(picture_.hwnd(), nullptr, TRUE);
}

void CVelmoraView::OnBrowse() {
  std::wstring picked;
  if (!CurrentDialogs().BrowseFolder(hwnd(), picked)) return;
  size_t a = 0, b = picked.size();
  while (a < b && std::iswspace(picked[a])) ++a;
  while (b > a && std::iswspace(picked[b - 1])) --b;
  const std::wstring path = picked.substr(a, b - a);
  if (!path.empty() && PathIsDirectoryW(path.c_str())) destination_.ApplyText(path);
}

}  // namespace velmora::ui
