#include "ui/view_job_window.h"

namespace velmora::ui {

int ViewJobWindow::ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) {
  // A box without an owner is shown by the worker itself: it blocks the worker alone and
  // leaves the window free (Stop stays at hand).
  if (owner == BoxOwner::kNone) return target_.ShowMessageBox(owner, text, flags);
  int result = 0;
  Run([&] { result = target_.ShowMessageBox(owner, text, flags); });
  return result;
}
void ViewJobWindow::ShowPreview(const std::wstring& path, PreviewCode code) {
  Run([&] { target_.ShowPreview(path, code); });
}
void ViewJobWindow::ResetEstimate(Bar bar) {
  Run([&] { target_.ResetEstimate(bar); });
}
void ViewJobWindow::SetBarRange(Bar bar, uint16_t upper) {
  Run([&] { target_.SetBarRange(bar, upper); });
}
void ViewJobWindow::SetBarPos(Bar bar, int position) {
  Run([&] { target_.SetBarPos(bar, position); });
}
void ViewJobWindow::SetLogText(const std::wstring& text) {
  Run([&] { target_.SetLogText(text); });
}
void ViewJobWindow::AppendLog(const std::wstring& text, uint32_t colour) {
  Run([&] { target_.AppendLog(text, colour); });
}
void ViewJobWindow::EnableControl(Control control, bool enable) {
  Run([&] { target_.EnableControl(control, enable); });
}
void ViewJobWindow::ShowControl(Control control, bool show) {
  Run([&] { target_.ShowControl(control, show); });
}
int ViewJobWindow::MediaChecked() {
  int result = 0;
  Run([&] { result = target_.MediaChecked(); });
  return result;
}
std::wstring ViewJobWindow::Destination() {
  std::wstring result;
  Run([&] { result = target_.Destination(); });
  return result;
}
void ViewJobWindow::ClearDestination() {
  Run([&] { target_.ClearDestination(); });
}
void ViewJobWindow::SetHelpText(const std::wstring& text, const std::vector<BoldRange>& bold) {
  Run([&] { target_.SetHelpText(text, bold); });
}
void ViewJobWindow::Relayout() {
  Run([&] { target_.Relayout(); });
}
void ViewJobWindow::SetFlag(ViewFlag flag, bool value) {
  Run([&] { target_.SetFlag(flag, value); });
}
int ViewJobWindow::FileCount() {
  int result = 0;
  Run([&] { result = target_.FileCount(); });
  return result;
}
std::wstring ViewJobWindow::FileText(int index) {
  std::wstring result;
  Run([&] { result = target_.FileText(index); });
  return result;
}
void ViewJobWindow::ReplaceFileItem(int index, const std::wstring& text, int image) {
  Run([&] { target_.ReplaceFileItem(index, text, image); });
}
intptr_t ViewJobWindow::FileData(int index) {
  intptr_t result = 0;
  Run([&] { result = target_.FileData(index); });
  return result;
}
void ViewJobWindow::SetFileData(int index, intptr_t data) {
  Run([&] { target_.SetFileData(index, data); });
}
void ViewJobWindow::ClearEntries() {
  Run([&] { target_.ClearEntries(); });
}
void ViewJobWindow::AppendEntry(const RecoveredEntry& entry) {
  Run([&] { target_.AppendEntry(entry); });
}

}  // namespace velmora::ui
