// CVelmoraView: the main view, the hub of the window. It holds every working control (file
// list, preview pane, destination field, buttons, progress rows, activity log, instruction
// box), lays them out on every resize, paints the background, keeps the flags the frame's
// menu reads, and carries out on the user-interface thread every call a job makes through
// the job window.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "engine/job/job_context.h"
#include "engine/job/job_window.h"
#include "feedback/est_progress_ctrl.h"
#include "ui/list/tarvik_list_ctrl.h"
#include "ui/preview/picture_box.h"
#include "ui/view/image_button.h"
#include "ui/view/prompt_edit.h"
#include "ui/view/rich_text.h"
#include "ui/view/view_job_window.h"
#include "winfw/controls.h"
#include "winfw/gdi.h"
#include "winfw/window.h"

namespace velmora::ui {

class CMainFrame;

// The timer that writes the gathered log lines, and its period.
inline constexpr UINT_PTR kLogFlushTimer = 1;
// Drawn as often as a job's batches (kJobBatchMs).
inline constexpr UINT kLogFlushMs = 200;
// The most time one tick of that timer spends writing lines into the log: a flood of lines
// gets two fifths of the window's time, and the window never stands still for longer.
inline constexpr DWORD kLogSliceMs = 80;
// A log of more lines than this is replaced by a fresh one rather than emptied.
inline constexpr LRESULT kLogReplaceLines = 200;

class CVelmoraView : public winfw::Window, public JobWindow {
 public:
  explicit CVelmoraView(CMainFrame& frame);
  ~CVelmoraView() override;

  bool Create(HWND parent, int id);

  // Handlers of the buttons and of the frame's menu commands.
  void OnSelectFiles();
  void OnRemoveFiles();
  void OnRepairFiles();
  void OnSaveFiles();
  void OnBrowse();
  void OnStop();
  void OnPreviewRequest(int position);
  // Files given on the command line or dropped from the shell, added as "Select files" adds
  // the names its dialog returns.
  void AddFiles(const std::vector<std::wstring>& paths);
  void OnDropFiles(HDROP drop);

  // Status-bar hints (the text of the window under the pointer) and Tab between the
  // controls. The app's message loop passes every message here before dispatching it; true
  // when the message was consumed.
  bool PreTranslateMessage(const MSG& msg);

  // The working folder is thrown away, with the picture shown from it let go first.
  void DiscardWorkingFolder();

  // Lines appended to the log are gathered and written a few times a second, the log drawn
  // once for each batch; this writes those still waiting now.
  void FlushLog();
  // A tick of the log's timer: lines written for a short while, the rest left waiting.
  void OnLogTimer();
  // Writes the waiting lines for up to `budget_ms` (0: all of them); the timer stops once
  // none is left.
  void WritePendingLog(DWORD budget_ms);

  // The flags of the menu commands.
  bool m_bSelectAllowed = false;
  bool m_bRemoveRepairAllowed = false;
  bool m_bSaveAllowed = false;
  bool m_bRepairRan = false;

  // Controls, for the frame, the status-bar hints and the tests.
  HWND Child(int id) const { return GetDlgItem(hwnd(), id); }
  HWND control_window(velmora::Control control) const;
  CTarvikListCtrl& file_list() { return list_; }
  CPictureBox& preview() { return picture_; }
  CPromptEdit& destination() { return destination_; }
  HWND log() const { return log_; }
  HWND help_box() const { return help_; }
  HWND save_label() const { return save_label_; }
  HWND preview_label() const { return preview_label_; }
  HWND file_label() const { return file_label_; }
  HWND total_label() const { return total_label_; }
  HWND file_bar() const { return file_bar_.hwnd(); }
  HWND total_bar() const { return total_bar_.hwnd(); }
  CEstProgressCtrl& bar(Bar which) { return which == Bar::kFile ? file_bar_ : total_bar_; }
  HWND entry_list() const { return entry_list_; }
  // What the worker threads are handed: their calls carried out here, in order (ViewJobWindow).
  JobWindow& worker_window() { return proxy_; }
  // Carries out now the calls a worker has queued: at the end of a job, and before a command
  // of the user's acts on what the job has done so far.
  void DrainJobCalls() { proxy_.Drain(); }
  JobContext context();

  // JobWindow, carried out here on the user-interface thread.
  int ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) override;
  void ShowPreview(const std::wstring& path, PreviewCode code) override;
  void ResetEstimate(Bar bar) override;
  void SetBarRange(Bar bar, uint16_t upper) override;
  void SetBarPos(Bar bar, int position) override;
  void SetLogText(const std::wstring& text) override;
  void AppendLog(const std::wstring& text, uint32_t colour) override;
  void EnableControl(velmora::Control control, bool enable) override;
  void ShowControl(velmora::Control control, bool show) override;
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

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  int OnCreate();
  bool CreateControls();
  // The activity log as the view makes it, holding `text`, not yet placed.
  HWND CreateLog(const std::wstring& text);
  void OnSize(int width, int height);
  void Paint(HDC dc, const RECT& client);
  LRESULT OnCommand(int id, int code);
  LRESULT OnNotify(NMHDR* header);
  LRESULT OnCtlColor(UINT message, HDC dc, HWND control);
  void ShowStatusHint(HWND over);
  void RenewListBackground(int width, int height);
  // A job is running or its worker has not ended yet.
  bool JobBusy() const;
  void ApplyCreatedStep();
  void ApplyListEmptiedStep();
  HWND StaticLabel(const wchar_t* text, HFONT font, DWORD style);
  void FitLabelFont(HWND label, int width);
  // The controls Tab walks, in reading order: list, Select, Remove, Repair, destination,
  // "...", Save, Stop, Extract Media, Exit.
  std::vector<HWND> TabOrder() const;
  // The next (or previous) of them after `from` that is shown and enabled, round the end.
  HWND NextTabStop(HWND from, bool back) const;

  CMainFrame& frame_;
  ViewJobWindow proxy_;
  winfw::Brush background_;
  winfw::Font regular_font_;
  winfw::Font bold_font_;
  winfw::Font label_font_;
  winfw::Tooltips tooltips_;
  CTarvikListCtrl list_;
  CPictureBox picture_;
  CPromptEdit destination_;
  ImageButton select_, remove_, repair_, save_, stop_, exit_, browse_;
  HWND save_label_ = nullptr;
  HWND preview_label_ = nullptr;
  HWND file_label_ = nullptr;
  HWND total_label_ = nullptr;
  CEstProgressCtrl file_bar_;
  CEstProgressCtrl total_bar_;
  HWND log_ = nullptr;
  HWND help_ = nullptr;
  HWND media_check_ = nullptr;
  HWND entry_list_ = nullptr;
  HIMAGELIST images_ = nullptr;
  winfw::Bitmap list_background_;  // the scaled copy the list shows
  winfw::Bitmap banner_, banner_filler_, footer_, footer_logo_, list_background_source_;
  SIZE list_background_size_{};  // of the scaled picture the list holds
  std::vector<RecoveredEntry> entries_;
  std::vector<LogPiece> pending_log_;  // appended, not yet written into the log
  bool log_timer_ = false;
};

}  // namespace velmora::ui
