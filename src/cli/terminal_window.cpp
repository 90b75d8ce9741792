#include "cli/terminal_window.h"

#include "platform/console.h"

namespace velmora::cli {

using platform::Stream;

namespace {

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Log texts end their lines with "\r\n"; a terminal wants "\n".
std::wstring UnixLines(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

std::wstring PlainMessageText(const std::wstring& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, 4, L"<br>") == 0) {
      out += L'\n';
      i += 4;
    } else if (text.compare(i, 3, L"<a ") == 0) {
      size_t close = text.find(L'>', i);
      if (close == std::wstring::npos) {
        out += text.substr(i);
        break;
      }
      i = close + 1;
    } else if (text.compare(i, 4, L"</a>") == 0) {
      i += 4;
    } else {
      out += text[i++];
    }
  }
  return out;
}

TerminalWindow::TerminalWindow()
    : colour_(platform::IsTerminal(Stream::kOut)), progress_(platform::IsTerminal(Stream::kErr)) {}

void TerminalWindow::AddFile(const std::wstring& path) {
  files_.push_back({path, kImageAdded, 0});
}

int TerminalWindow::RepairedCount() {
  int count = 0;
  for (const auto& item : files_) count += item.data == 1 ? 1 : 0;
  return count;
}

int TerminalWindow::ShowMessageBox(BoxOwner, const std::wstring& text, unsigned flags) {
  std::lock_guard lock(mutex_);
  ClearProgress();
  platform::WriteText(Stream::kErr, PlainMessageText(text) + L"\n");
  // The only question the jobs ask is the Stop confirmation; Ctrl+C is the answer "Yes".
  return flags == kMbQuestion ? kIdYes : 1;
}

void TerminalWindow::SetBarRange(Bar bar, uint16_t upper) {
  std::lock_guard lock(mutex_);
  (bar == Bar::kFile ? file_bar_ : total_bar_).upper = upper;
}

void TerminalWindow::SetBarPos(Bar bar, int position) {
  std::lock_guard lock(mutex_);
  (bar == Bar::kFile ? file_bar_ : total_bar_).position = position;
  DrawProgress();
}

void TerminalWindow::ShowControl(Control control, bool show) {
  std::lock_guard lock(mutex_);
  if (control == Control::kFileBar) file_bar_.shown = show;
  if (control == Control::kTotalBar) total_bar_.shown = show;
  if (!file_bar_.shown && !total_bar_.shown) ClearProgress();
}

void TerminalWindow::AppendLog(const std::wstring& text, uint32_t colour) {
  std::lock_guard lock(mutex_);
  if (colour == kGreen && EndsWith(text, L" saving of file done....\r\n")) ++saved_;
  ClearProgress();
  std::wstring line = UnixLines(text);
  if (colour_ && colour != kBlack) {
    const wchar_t* start = colour == kGreen ? L"\x1b[32m" : L"\x1b[31m";
    size_t body = line.find_last_not_of(L'\n') + 1;
    line = start + line.substr(0, body) + L"\x1b[0m" + line.substr(body);
  }
  platform::WriteText(Stream::kOut, line);
  DrawProgress();
}

void TerminalWindow::DrawProgress() {
  if (!progress_ || (!file_bar_.shown && !total_bar_.shown)) return;
  std::wstring line = L"\r\x1b[K";
  if (file_bar_.shown)
    line += L"entries " + std::to_wstring(file_bar_.position) + L"/" +
            std::to_wstring(file_bar_.upper) + L"  ";
  if (total_bar_.shown)
    line +=
        L"files " + std::to_wstring(total_bar_.position) + L"/" + std::to_wstring(total_bar_.upper);
  platform::WriteText(Stream::kErr, line);
  progress_drawn_ = true;
}

void TerminalWindow::ClearProgress() {
  if (!progress_drawn_) return;
  platform::WriteText(Stream::kErr, L"\r\x1b[K");
  progress_drawn_ = false;
}

int TerminalWindow::FileCount() {
  return static_cast<int>(files_.size());
}

std::wstring TerminalWindow::FileText(int index) {
  if (index < 0 || index >= FileCount()) return L"";
  return files_[index].text;
}

void TerminalWindow::ReplaceFileItem(int index, const std::wstring& text, int image) {
  if (index < 0 || index >= FileCount()) return;
  files_[index] = {text, image, 0};
}

intptr_t TerminalWindow::FileData(int index) {
  if (index < 0 || index >= FileCount()) return 0;
  return files_[index].data;
}

void TerminalWindow::SetFileData(int index, intptr_t data) {
  if (index < 0 || index >= FileCount()) return;
  files_[index].data = data;
}

}  // namespace velmora::cli
