// The job window's calls, carried out on the user-interface thread: workers reach these
// through ViewJobWindow, the view's own handlers call them directly.
#include "ui/view/velmora_view.h"

#include <commctrl.h>

#include "ui/dialogs/dialogs.h"
#include "ui/frame/main_frame.h"
#include "ui/view/rich_text.h"

namespace velmora::ui {

HWND CVelmoraView::control_window(velmora::Control control) const {
  switch (control) {
    case velmora::Control::kSelectFiles:
      return select_.hwnd();
    case velmora::Control::kRemoveFiles:
      return remove_.hwnd();
    case velmora::Control::kRepairFiles:
      return repair_.hwnd();
    case velmora::Control::kSaveFiles:
      return save_.hwnd();
    case velmora::Control::kBrowse:
      return browse_.hwnd();
    case velmora::Control::kStop:
      return stop_.hwnd();
    case velmora::Control::kExtractMedia:
      return media_check_;
    case velmora::Control::kDestination:
      return destination_.hwnd();
    case velmora::Control::kFileLabel:
      return file_label_;
    case velmora::Control::kFileBar:
      return file_bar_.hwnd();
    case velmora::Control::kTotalLabel:
      return total_label_;
    case velmora::Control::kTotalBar:
      return total_bar_.hwnd();
  }
  return nullptr;
}

int CVelmoraView::ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) {
  // A box without an owner leaves the window usable; the view's own messages are modal to
  // the frame. Worker threads show their ownerless boxes themselves (ViewJobWindow).
  const HWND parent = owner == BoxOwner::kView ? frame_.hwnd() : nullptr;
  // The log shows everything before the box. A worker's ownerless box comes here on the
  // worker, whose job window has had the log written on this window's thread first.
  if (GetCurrentThreadId() == GetWindowThreadProcessId(hwnd(), nullptr)) FlushLog();
  return CurrentDialogs().ShowMessageBox(parent, text, flags);
}

void CVelmoraView::ShowPreview(const std::wstring& path, PreviewCode code) {
  picture_.SetPicture(path, code);
  // Fitted, never stretched: a picture keeps its shape.
  picture_.set_mode(CPictureBox::kFitted);
  InvalidateRect(picture_.hwnd(), nullptr, TRUE);
}

void CVelmoraView::ResetEstimate(Bar which) {
  bar(which).ResetEstimate();
}

void CVelmoraView::SetBarRange(Bar which, uint16_t upper) {
  SendMessageW(bar(which).hwnd(), PBM_SETRANGE, 0, MAKELPARAM(0, upper));
}

void CVelmoraView::SetBarPos(Bar which, int position) {
  SendMessageW(bar(which).hwnd(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CVelmoraView::SetLogText(const std::wstring& text) {
  // Lines still waiting would be replaced at once.
  pending_log_.clear();
  // Some rich edits empty themselves a piece at a time, finding each piece from the start of
  // the text: a log of thousands of lines then takes seconds to empty, with the window frozen
  // meanwhile (8 s for 3,000 lines under Wine). A fresh log with the same id, styles and text
  // takes its place instead: same rectangle, same place among its siblings.
  const HWND fresh =
      SendMessageW(log_, EM_GETLINECOUNT, 0, 0) > kLogReplaceLines ? CreateLog(text) : nullptr;
  if (fresh == nullptr) {
    SetWindowTextW(log_, text.c_str());
    return;
  }
  RECT r{};
  GetWindowRect(log_, &r);
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
  SetWindowPos(fresh, log_, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
  const bool focused = GetFocus() == log_;
  DestroyWindow(log_);
  log_ = fresh;
  if (focused) SetFocus(log_);
}

void CVelmoraView::AppendLog(const std::wstring& text, uint32_t colour) {
  pending_log_.push_back({text, colour});
  if (!log_timer_) log_timer_ = SetTimer(hwnd(), kLogFlushTimer, kLogFlushMs, nullptr) != 0;
  // Without a timer the line goes in at once.
  if (!log_timer_) FlushLog();
}

void CVelmoraView::FlushLog() {
  WritePendingLog(0);
}

void CVelmoraView::OnLogTimer() {
  // A slice of writing at each tick, so that a flood of lines never holds up the window;
  // the rest waits for the next tick (a message box or a workflow step writes it all).
  WritePendingLog(kLogSliceMs);
}

void CVelmoraView::WritePendingLog(DWORD budget_ms) {
  const size_t written = ui::AppendLog(log_, pending_log_, budget_ms);
  pending_log_.erase(pending_log_.begin(), pending_log_.begin() + static_cast<ptrdiff_t>(written));
  if (pending_log_.empty() && log_timer_) {
    KillTimer(hwnd(), kLogFlushTimer);
    log_timer_ = false;
  }
}

void CVelmoraView::EnableControl(velmora::Control control, bool enable) {
  EnableWindow(control_window(control), enable ? TRUE : FALSE);
}

void CVelmoraView::ShowControl(velmora::Control control, bool show) {
  ShowWindow(control_window(control), show ? SW_SHOW : SW_HIDE);
}

int CVelmoraView::MediaChecked() {
  return static_cast<int>(SendMessageW(media_check_, BM_GETCHECK, 0, 0));
}

std::wstring CVelmoraView::Destination() {
  return destination_.Text();
}

void CVelmoraView::ClearDestination() {
  destination_.ApplyText(L"");
}

void CVelmoraView::SetHelpText(const std::wstring& text, const std::vector<BoldRange>& bold) {
  CHARFORMATW format = InstructionFormat();
  format.dwMask = CFM_BOLD;
  format.dwEffects = CFE_BOLD;
  SetRichTextWithBold(help_, text, bold, format);
}

void CVelmoraView::Relayout() {
  RECT r{};
  GetWindowRect(hwnd(), &r);
  SendMessageW(hwnd(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
}

void CVelmoraView::SetFlag(ViewFlag flag, bool value) {
  switch (flag) {
    case ViewFlag::kSelectAllowed:
      m_bSelectAllowed = value;
      break;
    case ViewFlag::kRemoveRepairAllowed:
      m_bRemoveRepairAllowed = value;
      break;
    case ViewFlag::kSaveAllowed:
      m_bSaveAllowed = value;
      break;
    case ViewFlag::kRepairRan:
      m_bRepairRan = value;
      break;
  }
  // A step of the workflow: the log shows everything logged before it.
  FlushLog();
  frame_.UpdateCommandStates();
}

int CVelmoraView::FileCount() {
  return list_.Count();
}

std::wstring CVelmoraView::FileText(int index) {
  return list_.ItemText(index);
}

void CVelmoraView::ReplaceFileItem(int index, const std::wstring& text, int image) {
  list_.Replace(index, text, image);
}

intptr_t CVelmoraView::FileData(int index) {
  return list_.ItemData(index);
}

void CVelmoraView::SetFileData(int index, intptr_t data) {
  list_.SetItemData(index, data);
}

FileVerdict CVelmoraView::GetFileVerdict(int index) {
  return list_.ItemVerdict(index);
}

void CVelmoraView::SetFileVerdict(int index, const FileVerdict& verdict) {
  list_.SetItemVerdict(index, verdict);
}

void CVelmoraView::ClearEntries() {
  SendMessageW(entry_list_, LVM_DELETEALLITEMS, 0, 0);
  entries_.clear();
}

void CVelmoraView::AppendEntry(const RecoveredEntry& entry) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(entries_.size());
  item.pszText = const_cast<wchar_t*>(entry.name.c_str());
  SendMessageW(entry_list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  entries_.push_back(entry);
}

}  // namespace velmora::ui
