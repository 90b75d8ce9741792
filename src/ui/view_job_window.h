// The job window a worker thread is handed. Every call is one synchronous message to the
// main view, so the user-interface thread carries it out before the call returns and the
// calls of one job keep their order; the worker never touches a control itself.
#pragma once

#include <windows.h>

#include "engine/job/job_window.h"

namespace velmora::ui {

// The view's private message: lParam points at a JobCall on the sender's stack.
inline constexpr UINT kMsgJobCall = WM_APP + 1;

struct JobCall {
  void (*invoke)(void* callable);
  void* callable;
};

class ViewJobWindow : public JobWindow {
 public:
  // `view` is the window that answers kMsgJobCall; `target` the implementation it runs.
  ViewJobWindow(JobWindow& target) : target_(target) {}
  void set_view(HWND view) { view_ = view; }

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
  void ClearEntries() override;
  void AppendEntry(const RecoveredEntry& entry) override;

 private:
  template <class F>
  void Run(F&& f) {
    JobCall call{[](void* p) { (*static_cast<F*>(p))(); }, &f};
    SendMessageW(view_, kMsgJobCall, 0, reinterpret_cast<LPARAM>(&call));
  }

  JobWindow& target_;
  HWND view_ = nullptr;
};

}  // namespace velmora::ui
