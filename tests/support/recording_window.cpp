#include "support/recording_window.h"

#include <algorithm>
#include <cstdio>

namespace velmora::test {

const wchar_t* ControlName(Control control) {
  switch (control) {
    case Control::kSelectFiles:
      return L"Select";
    case Control::kRemoveFiles:
      return L"Remove";
    case Control::kRepairFiles:
      return L"Repair";
    case Control::kSaveFiles:
      return L"Save";
    case Control::kBrowse:
      return L"Browse";
    case Control::kStop:
      return L"Stop";
    case Control::kExtractMedia:
      return L"Media";
    case Control::kDestination:
      return L"Destination";
    case Control::kFileLabel:
      return L"FileLabel";
    case Control::kFileBar:
      return L"FileBar";
    case Control::kTotalLabel:
      return L"TotalLabel";
    case Control::kTotalBar:
      return L"TotalBar";
  }
  return L"?";
}

const wchar_t* BarName(Bar bar) {
  return bar == Bar::kFile ? L"File" : L"Total";
}

const wchar_t* FlagName(ViewFlag flag) {
  switch (flag) {
    case ViewFlag::kSelectAllowed:
      return L"SelectAllowed";
    case ViewFlag::kRemoveRepairAllowed:
      return L"RemoveRepairAllowed";
    case ViewFlag::kSaveAllowed:
      return L"SaveAllowed";
    case ViewFlag::kRepairRan:
      return L"RepairRan";
  }
  return L"?";
}

namespace {
std::wstring Hex(uint32_t v) {
  wchar_t buf[16];
  std::swprintf(buf, 16, L"0x%06X", v);
  return buf;
}
}  // namespace

void RecordingWindow::Record(std::wstring line) {
  if (!quiet) calls.push_back(std::move(line));
}

void RecordingWindow::AddFile(const std::wstring& path, int image, intptr_t data) {
  std::lock_guard lock(mutex_);
  files.push_back({path, image, data, {}});
}

std::vector<std::wstring> RecordingWindow::LogTexts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::wstring> out;
  for (const auto& line : log) out.push_back(line.text);
  return out;
}

std::vector<std::wstring> RecordingWindow::CallsStartingWith(const std::wstring& prefix) const {
  std::lock_guard lock(mutex_);
  std::vector<std::wstring> out;
  for (const auto& c : calls)
    if (c.rfind(prefix, 0) == 0) out.push_back(c);
  return out;
}

int RecordingWindow::ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) {
  std::function<int(BoxOwner, const std::wstring&)> hook;
  {
    std::lock_guard lock(mutex_);
    Record(L"MessageBox " + std::wstring(owner == BoxOwner::kView ? L"view " : L"none ") +
           std::to_wstring(flags) + L" " + text);
    if (!quiet) boxes.push_back(text);
    hook = on_box;
    if (!hook) {
      if (answers.empty()) return 1;
      int a = answers.front();
      answers.pop_front();
      return a;
    }
  }
  return hook(owner, text);
}

void RecordingWindow::ShowPreview(const std::wstring& path, PreviewCode code) {
  std::lock_guard lock(mutex_);
  Record(L"ShowPreview " + std::to_wstring(code) + L" " + path);
  previews.emplace_back(path, code);
}

void RecordingWindow::ResetEstimate(Bar bar) {
  std::lock_guard lock(mutex_);
  Record(L"ResetEstimate " + std::wstring(BarName(bar)));
  bars[bar].resets++;
}

void RecordingWindow::SetBarRange(Bar bar, uint16_t upper) {
  std::lock_guard lock(mutex_);
  Record(L"SetBarRange " + std::wstring(BarName(bar)) + L" " + std::to_wstring(upper));
  bars[bar].upper = upper;
}

void RecordingWindow::SetBarPos(Bar bar, int position) {
  std::lock_guard lock(mutex_);
  Record(L"SetBarPos " + std::wstring(BarName(bar)) + L" " + std::to_wstring(position));
  bars[bar].position = position;
  bars[bar].highest = std::max(bars[bar].highest, position);
}

void RecordingWindow::SetLogText(const std::wstring& text) {
  std::lock_guard lock(mutex_);
  Record(L"SetLogText " + text);
  log.clear();
  log_text = text;
}

void RecordingWindow::AppendLog(const std::wstring& text, uint32_t colour) {
  std::lock_guard lock(mutex_);
  if (quiet) return;
  Record(L"AppendLog " + Hex(colour) + L" " + text);
  log.push_back({text, colour});
  log_text += text;
}

void RecordingWindow::EnableControl(Control control, bool enable) {
  std::lock_guard lock(mutex_);
  Record(std::wstring(enable ? L"Enable " : L"Disable ") + ControlName(control));
  enabled[control] = enable;
}

void RecordingWindow::ShowControl(Control control, bool show) {
  std::lock_guard lock(mutex_);
  Record(std::wstring(show ? L"Show " : L"Hide ") + ControlName(control));
  shown[control] = show;
}

int RecordingWindow::MediaChecked() {
  std::lock_guard lock(mutex_);
  return media_checked;
}

std::wstring RecordingWindow::Destination() {
  std::lock_guard lock(mutex_);
  return destination;
}

void RecordingWindow::ClearDestination() {
  std::lock_guard lock(mutex_);
  Record(L"ClearDestination");
  destination.clear();
  destination_cleared = true;
}

void RecordingWindow::SetHelpText(const std::wstring& text, const std::vector<BoldRange>& bold) {
  std::lock_guard lock(mutex_);
  std::wstring line = L"SetHelpText " + text;
  for (const auto& r : bold)
    line += L" [" + std::to_wstring(r.begin) + L"," + std::to_wstring(r.end) + L")";
  Record(line);
  help_text = text;
  help_bold = bold;
}

void RecordingWindow::Relayout() {
  std::lock_guard lock(mutex_);
  Record(L"Relayout");
  relayouts++;
}

void RecordingWindow::SetFlag(ViewFlag flag, bool value) {
  std::lock_guard lock(mutex_);
  Record(L"SetFlag " + std::wstring(FlagName(flag)) + (value ? L" 1" : L" 0"));
  flags[flag] = value;
}

int RecordingWindow::FileCount() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(files.size());
}

std::wstring RecordingWindow::FileText(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(files.size())) return L"";
  return files[index].text;
}

void RecordingWindow::ReplaceFileItem(int index, const std::wstring& text, int image) {
  std::lock_guard lock(mutex_);
  Record(L"ReplaceFileItem " + std::to_wstring(index) + L" " + std::to_wstring(image) + L" " +
         text);
  if (index < 0 || index >= static_cast<int>(files.size())) return;
  files[index] = {text, image, 0, {}};
}

intptr_t RecordingWindow::FileData(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(files.size())) return 0;
  return files[index].data;
}

void RecordingWindow::SetFileData(int index, intptr_t data) {
  std::lock_guard lock(mutex_);
  Record(L"SetFileData " + std::to_wstring(index) + L" " + std::to_wstring(data));
  if (index < 0 || index >= static_cast<int>(files.size())) return;
  files[index].data = data;
}

FileVerdict RecordingWindow::GetFileVerdict(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(files.size())) return {};
  return files[index].verdict;
}

void RecordingWindow::SetFileVerdict(int index, const FileVerdict& verdict) {
  std::lock_guard lock(mutex_);
  Record(L"SetFileVerdict " + std::to_wstring(index) + L" " +
         std::to_wstring(static_cast<int>(verdict.verdict)) + L" " + verdict.summary);
  if (index < 0 || index >= static_cast<int>(files.size())) return;
  files[index].verdict = verdict;
}

void RecordingWindow::ClearEntries() {
  std::lock_guard lock(mutex_);
  Record(L"ClearEntries");
  entries.clear();
}

void RecordingWindow::AppendEntry(const RecoveredEntry& entry) {
  std::lock_guard lock(mutex_);
  Record(L"AppendEntry " + entry.name);
  entries.push_back(entry);
}

}  // namespace velmora::test
