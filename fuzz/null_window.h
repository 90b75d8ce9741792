// A JobWindow for the fuzzers: keeps the file list the jobs read back and the entry list the
// checks read, counts message boxes, and drops everything else. Far cheaper than the recording
// window of the tests, which keeps every call as text.
#pragma once

#include <string>
#include <vector>

#include "engine/job/job_window.h"

namespace velmora::fuzz {

class NullWindow : public JobWindow {
 public:
  struct Item {
    std::wstring text;
    int image = kImageAdded;
    intptr_t data = 0;
    FileVerdict verdict;
  };
  std::vector<Item> files;
  std::vector<RecoveredEntry> entries;
  int boxes = 0;
  bool repair_completed = false;  // "Repairing process completed: ..." was logged

  int ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) override;
  void ShowPreview(const std::wstring&, PreviewCode) override {}
  void ResetEstimate(Bar) override {}
  void SetBarRange(Bar, uint16_t) override {}
  void SetBarPos(Bar, int) override {}
  void SetLogText(const std::wstring&) override {}
  void AppendLog(const std::wstring& text, uint32_t colour) override;
  void EnableControl(Control, bool) override {}
  void ShowControl(Control, bool) override {}
  int MediaChecked() override { return 0; }
  std::wstring Destination() override { return L""; }
  void ClearDestination() override {}
  void SetHelpText(const std::wstring&, const std::vector<BoldRange>&) override {}
  void Relayout() override {}
  void SetFlag(ViewFlag, bool) override {}
  int FileCount() override { return static_cast<int>(files.size()); }
  std::wstring FileText(int index) override;
  void ReplaceFileItem(int index, const std::wstring& text, int image) override;
  intptr_t FileData(int index) override;
  void SetFileData(int index, intptr_t data) override;
  FileVerdict GetFileVerdict(int index) override;
  void SetFileVerdict(int index, const FileVerdict& verdict) override;
  void ClearEntries() override { entries.clear(); }
  void AppendEntry(const RecoveredEntry& entry) override { entries.push_back(entry); }
};

}  // namespace velmora::fuzz
