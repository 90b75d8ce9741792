#include "cli/terminal_window.h"

#include "engine/job/job_texts.h"
#include "engine/job/markup_escape.h"
#include "output/save_job.h"
#include "platform/console.h"

namespace velmora::cli {

using platform::Stream;

namespace {

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
  // Names in messages are escaped for the window's mark-up; the terminal shows them as is.
  return UnescapeMarkup(out);
}

std::wstring TerminalLogLine(const std::wstring& text, uint32_t colour_ref, bool colour) {
  std::wstring line = UnixLines(text);
  if (colour && colour_ref != kBlack) {
    // A partly repaired file's orange is the terminal's yellow.
    const wchar_t* start = colour_ref == kGreen    ? L"\x1b[32m"
                           : colour_ref == kOrange ? L"\x1b[33m"
                                                   : L"\x1b[31m";
    size_t body = line.find_last_not_of(L'\n') + 1;
    line = start + line.substr(0, body) + L"\x1b[0m" + line.substr(body);
  }
  return line;
}

TerminalWindow::TerminalWindow(int index, int count, const std::wstring& path, bool colour)
    : index_(index), count_(count), item_{path, kImageAdded, 0, {}}, colour_(colour) {}

void TerminalWindow::SetStop(const std::atomic<int>* stopped, JobRunning* running) {
  stopped_ = stopped;
  running_ = running;
}

std::vector<OutputLine> TerminalWindow::TakeOutput() {
  std::lock_guard lock(mutex_);
  std::vector<OutputLine> taken;
  taken.swap(output_);
  return taken;
}

std::vector<OutputLine> TerminalWindow::TakeClosing() {
  std::lock_guard lock(mutex_);
  std::vector<OutputLine> taken;
  taken.swap(closing_);
  return taken;
}

void TerminalWindow::Keep(Stream stream, std::wstring text) {
  std::lock_guard lock(mutex_);
  output_.push_back({stream, std::move(text)});
}

int TerminalWindow::ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) {
  // A package that was there before the run: replaced only with --overwrite. The log says
  // what became of it.
  if (flags == kMbReplaceQuestion) return overwrite_ ? kIdYesForAll : kIdNo;
  // The other question the jobs ask is the Stop confirmation; Ctrl+C is the answer "Yes".
  if (flags == kMbQuestion) {
    Keep(Stream::kErr, PlainMessageText(text) + L"\n");
    return kIdYes;
  }
  // The save job's closing message: shown once for the whole list by the batch.
  if (owner == BoxOwner::kView) {
    save_message_ = PlainMessageText(text) + L"\n";
    return 1;
  }
  static constexpr const wchar_t* kAboutTheRun[] = {
      L"Please select a valid folder path.",
      L"Please stop the running process before saving the file(s).",
  };
  for (const wchar_t* run_text : kAboutTheRun) {
    if (text == run_text) {
      Keep(Stream::kErr, text + L"\n");
      return 1;
    }
  }
  // Everything else is the system's text for a failure met while handling the file: alone it
  // would not say which file.
  Keep(Stream::kErr, L"velmora: " + item_.text + L": " + PlainMessageText(text) + L"\n");
  return 1;
}

void TerminalWindow::AppendLog(const std::wstring& text, uint32_t colour) {
  if (text.compare(0, 28, L"Repairing process completed:") == 0 ||
      text.rfind(kSaveClosingStart, 0) == 0 || text == kUnderscoreLine) {
    std::lock_guard lock(mutex_);
    closing_.push_back({Stream::kOut, TerminalLogLine(text, colour, colour_)});
    return;
  }
  Keep(Stream::kOut, TerminalLogLine(text, colour, colour_));
}

std::wstring TerminalWindow::FileText(int index) {
  if (index != index_) {
    const bool listed =
        listing_ != nullptr && index >= 0 && index < static_cast<int>(listing_->size());
    return listed ? (*listing_)[static_cast<size_t>(index)] : L"";
  }
  // The job takes up its file: a stop of the batch holds for it.
  if (stopped_ != nullptr && stopped_->load() != 0) running_->store(0);
  return item_.text;
}

void TerminalWindow::ReplaceFileItem(int index, const std::wstring& text, int image) {
  if (index == index_) item_ = {text, image, 0, {}};
}

intptr_t TerminalWindow::FileData(int index) {
  return index == index_ ? item_.data : 0;
}

void TerminalWindow::SetFileData(int index, intptr_t data) {
  if (index == index_) item_.data = data;
}

FileVerdict TerminalWindow::GetFileVerdict(int index) {
  return index == index_ ? item_.verdict : FileVerdict{};
}

void TerminalWindow::SetFileVerdict(int index, const FileVerdict& verdict) {
  if (index == index_) item_.verdict = verdict;
}

}  // namespace velmora::cli
