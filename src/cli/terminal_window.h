// The job window of the command line, one per listed file. Files run side by side, each with a
// window of its own that shows only its own item of the list (JobContext::only_file); the
// window keeps what it would print, and the batch prints it whole, in list order, so that the
// lines of one file stay together. Log lines go to stdout (coloured on a terminal), message
// texts to stderr.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "engine/job/job_context.h"
#include "engine/job/job_window.h"
#include "platform/console.h"

namespace velmora::cli {

// A line of output kept for later, with the stream it goes to.
struct OutputLine {
  platform::Stream stream;
  std::wstring text;
};

// A log line as the terminal shows it: "\n" line ends, colour codes when `colour`.
std::wstring TerminalLogLine(const std::wstring& text, uint32_t colour_ref, bool colour);

class TerminalWindow : public JobWindow {
 public:
  // The window of the file `path` at list position `index` of a list of `count` files.
  TerminalWindow(int index, int count, const std::wstring& path, bool colour);

  void SetDestination(const std::wstring& destination) { destination_ = destination; }
  void SetMediaChecked(bool checked) { media_checked_ = checked; }
  // The whole list, read for the other items' texts (the save job names each file after the
  // files before it); the batch owns it. Without it the other items read as "".
  void SetListing(const std::vector<std::wstring>* paths) { listing_ = paths; }
  // The answer to "replace the package that was there before?": "Yes to all" with
  // --overwrite, else No (the file is saved under the next free name).
  void SetOverwrite(bool overwrite) { overwrite_ = overwrite; }
  // While `*stopped` is set, every time the job takes up its file it finds `*running` cleared,
  // as after a Stop confirmed at that moment: the jobs set the flag themselves when they start,
  // which would otherwise undo a Ctrl+C that came before.
  void SetStop(const std::atomic<int>* stopped, JobRunning* running);

  // Everything kept for printing since the last call, in order.
  std::vector<OutputLine> TakeOutput();
  // The lines that close a job's run and the save job's closing message, which a one-file run
  // gives like a run of the whole list: the batch shows them once, for the whole list.
  std::vector<OutputLine> TakeClosing();
  const std::wstring& SaveMessage() const { return save_message_; }

  // Runs on the calling thread, as a box without an owner must: it only keeps the text.
  int ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) override;
  void ShowPreview(const std::wstring&, PreviewCode) override {}
  void ResetEstimate(Bar) override {}
  void SetBarRange(Bar, uint16_t) override {}
  void SetBarPos(Bar, int) override {}
  void SetLogText(const std::wstring&) override {}
  void AppendLog(const std::wstring& text, uint32_t colour) override;
  void EnableControl(Control, bool) override {}
  void ShowControl(Control, bool) override {}
  int MediaChecked() override { return media_checked_ ? 1 : 0; }
  std::wstring Destination() override { return destination_; }
  void ClearDestination() override { destination_.clear(); }
  void SetHelpText(const std::wstring&, const std::vector<BoldRange>&) override {}
  void Relayout() override {}
  void SetFlag(ViewFlag, bool) override {}
  int FileCount() override { return count_; }
  std::wstring FileText(int index) override;
  void ReplaceFileItem(int index, const std::wstring& text, int image) override;
  intptr_t FileData(int index) override;
  void SetFileData(int index, intptr_t data) override;
  FileVerdict GetFileVerdict(int index) override;
  void SetFileVerdict(int index, const FileVerdict& verdict) override;
  // The terminal shows no entry list.
  void ClearEntries() override {}
  void AppendEntry(const RecoveredEntry&) override {}

 private:
  struct Item {
    std::wstring text;
    int image;
    intptr_t data;
    FileVerdict verdict;
  };
  void Keep(platform::Stream stream, std::wstring text);

  std::mutex mutex_;  // the job's thread keeps lines, the batch's takes them
  std::vector<OutputLine> output_;
  std::vector<OutputLine> closing_;
  std::wstring save_message_;
  const int index_;
  const int count_;
  Item item_;
  std::wstring destination_;
  bool media_checked_ = true;
  bool overwrite_ = false;
  const std::vector<std::wstring>* listing_ = nullptr;
  const bool colour_;
  const std::atomic<int>* stopped_ = nullptr;
  JobRunning* running_ = nullptr;
};

// A message text with its mark-up made plain: "<br>" becomes a line break and a link its label.
std::wstring PlainMessageText(const std::wstring& text);

}  // namespace velmora::cli
