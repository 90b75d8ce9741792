// A JobWindow for tests: keeps the state a real window would have and records every call, in
// order, as one line of text, so that tests can read the script a job produced.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/job/job_window.h"

namespace velmora::test {

struct LogLine {
  std::wstring text;
  uint32_t colour;
};

struct FileItem {
  std::wstring text;
  int image = kImageAdded;
  intptr_t data = 0;
  FileVerdict verdict;
  bool operator==(const FileItem&) const = default;
};

struct BarState {
  int upper = 100;
  int position = 0;
  int highest = 0;  // the highest position ever set
  int resets = 0;
};

class RecordingWindow : public JobWindow {
 public:
  // Scripted answers for message boxes, taken in order; kIdYes... When none is left the
  // answer is 1 (OK).
  std::deque<int> answers;
  // When set, a box stays "open" until this returns its answer (the scripted answers are then
  // not used). It runs on the thread that asked for the box without the window's lock held,
  // as a real box without an owner runs: calls from other threads go on meanwhile.
  std::function<int(BoxOwner owner, const std::wstring& text)> on_box;
  std::wstring destination;
  int media_checked = 0;
  // Keeps no script, log lines or box texts, only the state: for runs of many thousand files.
  bool quiet = false;

  // State as a window would hold it.
  std::vector<FileItem> files;
  std::vector<RecoveredEntry> entries;
  std::vector<LogLine> log;
  std::wstring log_text;            // SetLogText resets log
  std::vector<std::wstring> boxes;  // texts of message boxes shown
  bool destination_cleared = false;
  std::map<Control, bool> enabled;
  std::map<Control, bool> shown;
  std::map<ViewFlag, bool> flags;
  std::map<Bar, BarState> bars;
  std::wstring help_text;
  std::vector<BoldRange> help_bold;
  std::vector<std::pair<std::wstring, int>> previews;
  int relayouts = 0;

  // Every call, one line each, e.g. L"AppendLog 0x009900 C:\\a.ods  Repaired....\\r\\n".
  std::vector<std::wstring> calls;

  void AddFile(const std::wstring& path, int image = kImageAdded, intptr_t data = 0);
  // Log lines' texts only, in order.
  std::vector<std::wstring> LogTexts() const;
  // Calls whose line starts with `prefix`.
  std::vector<std::wstring> CallsStartingWith(const std::wstring& prefix) const;

  // Recorded as "MessageBox <owner> <flags> <text>".
  int ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) override;
  void ShowPreview(const std::wstring& path, PreviewCode code) override;
  void ResetEstimate(Bar bar) override;
  void SetBarRange(Bar bar, uint16_t upper) override;
  void SetBarPos(Bar bar, int position) override;
  void SetLogText(const std::wstring& text) override;
  void AppendLog(const std::wstring& text, uint32_t colour) override;
  void EnableControl(Control control, bool enable) override;
  void ShowControl(Control control, bool show) override;
  int MediaChecked() override;
  std::wstring Destination() override;
  void ClearDestination() override;
  void SetHelpText(const std::wstring& text, const std::vector<BoldRange>& bold) override;
  void Relayout() override;
  void SetFlag(ViewFlag flag, bool value) override;
  int FileCount() override;
  std::wstring FileText(int index) override;
  void ReplaceFileItem(int index, const std::wstring& text, int image) override;
  intptr_t FileData(int index) override;
  void SetFileData(int index, intptr_t data) override;
  FileVerdict GetFileVerdict(int index) override;
  void SetFileVerdict(int index, const FileVerdict& verdict) override;
  void ClearEntries() override;
  void AppendEntry(const RecoveredEntry& entry) override;

 private:
  void Record(std::wstring line);
  // Jobs call from their worker thread while a test may read from its own.
  mutable std::recursive_mutex mutex_;
};

const wchar_t* ControlName(Control control);
const wchar_t* BarName(Bar bar);
const wchar_t* FlagName(ViewFlag flag);

}  // namespace velmora::test
