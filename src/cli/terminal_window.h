// The job window of the command line: log lines to stdout (coloured on a terminal), one
// progress line on stderr when it is a terminal, message-box texts to stderr.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/job/job_window.h"

namespace velmora::cli {

class TerminalWindow : public JobWindow {
 public:
  TerminalWindow();

  void AddFile(const std::wstring& path);
  void SetDestination(const std::wstring& destination) { destination_ = destination; }
  void SetMediaChecked(bool checked) { media_checked_ = checked; }
  // Files whose item data is 1 (repaired by the last run).
  int RepairedCount();
  // Files logged as saved by the save job.
  int SavedCount() const { return saved_; }

  // Runs on the calling thread, as a box without an owner must: it only writes the text.
  int ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) override;
  void ShowPreview(const std::wstring&, PreviewCode) override {}
  void ResetEstimate(Bar) override {}
  void SetBarRange(Bar bar, uint16_t upper) override;
  void SetBarPos(Bar bar, int position) override;
  void SetLogText(const std::wstring&) override {}
  void AppendLog(const std::wstring& text, uint32_t colour) override;
  void EnableControl(Control, bool) override {}
  void ShowControl(Control control, bool show) override;
  int MediaChecked() override { return media_checked_ ? 1 : 0; }
  std::wstring Destination() override { return destination_; }
  void ClearDestination() override { destination_.clear(); }
  void SetHelpText(const std::wstring&, const std::vector<BoldRange>&) override {}
  void Relayout() override {}
  void SetFlag(ViewFlag, bool) override {}
  int FileCount() override;
  std::wstring FileText(int index) override;
  void ReplaceFileItem(int index, const std::wstring& text, int image) override;
  intptr_t FileData(int index) override;
  void SetFileData(int index, intptr_t data) override;
  // The terminal shows no entry list.
  void ClearEntries() override {}
  void AppendEntry(const RecoveredEntry&) override {}

 private:
  struct Item {
    std::wstring text;
    int image;
    intptr_t data;
  };
  struct BarState {
    int upper = 0;
    int position = 0;
    bool shown = false;
  };
  void DrawProgress();
  void ClearProgress();

  std::mutex mutex_;
  std::vector<Item> files_;
  std::wstring destination_;
  bool media_checked_ = true;
  bool colour_ = false;
  bool progress_ = false;
  bool progress_drawn_ = false;
  BarState file_bar_;
  BarState total_bar_;
  int saved_ = 0;
};

// A message text with its mark-up made plain: "<br>" becomes a line break and a link its label.
std::wstring PlainMessageText(const std::wstring& text);

}  // namespace velmora::cli
