// CMainFrame: the top-level window. Menu bar, toolbar, status bar and logo around the view;
// owns JobRunning and the job's worker thread, applies the look, and decides whether the
// program may close.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/job/job_context.h"
#include "engine/job/job_thread.h"
#include "ui/about/splash_window.h"
#include "ui/frame/frame_bars.h"
#include "winfw/gdi.h"
#include "winfw/settings.h"
#include "winfw/window.h"

namespace velmora::ui {

class CVelmoraView;

// Posted to the frame when a job's worker has ended.
inline constexpr UINT kMsgJobEnded = WM_APP + 2;
// Posted to the frame when files handed over by a second start of the program wait.
inline constexpr UINT kMsgFilesHanded = WM_APP + 4;
// Posted to the frame as it first shows: the splash comes over it.
inline constexpr UINT kMsgShowSplash = WM_APP + 5;

inline constexpr const wchar_t* kFrameClass = L"VelmoraMainFrame";
// The answer to files handed over while a job runs.
inline constexpr const wchar_t* kHandedFilesRefused =
    L"Please stop the running process before adding file(s).";

inline constexpr const wchar_t* kFrameTitle = L"Velmora - v1.0";
inline constexpr int kMinTrackWidth = 700;
inline constexpr int kMinTrackHeight = 500;

class CMainFrame : public winfw::Window {
 public:
  CMainFrame();
  ~CMainFrame() override;

  // Creates the frame and its view (hidden; the caller shows it).
  bool Create();
  // The program's own frame shows the splash screen over itself as it first shows; frames
  // made by tests do not.
  void EnableSplash(bool on) { splash_enabled_ = on; }

  CVelmoraView* m_pView = nullptr;
  JobRunning JobRunning_{0};

  JobRunning& job_running() { return JobRunning_; }
  JobThread& worker() { return worker_; }
  // The worker's last act: tell the frame, which joins it on its own thread.
  JobThread::OnEnd JobEndNotice();
  // A worker was started and has not announced its end.
  bool WorkerBusy() const { return worker_.Joinable() && !worker_.Ended(); }
  // Dispatches messages until the worker has ended, then joins it.
  void WaitForWorker();
  FrameBars& bars() { return bars_; }
  HWND logo() const { return logo_; }
  // The toolbar's Customize dialog, while it is open.
  HWND customize_dialog() const { return IsWindow(customize_) ? customize_ : nullptr; }
  unsigned look() const { return look_; }
  // Applies a look (210 to 218) and stores it under ApplicationLook.
  void ApplyLook(unsigned look);
  void SetStatusText(const std::wstring& text) { bars_.SetStatusText(text); }
  // The view's flags changed: the toolbar follows at once (menus follow when they open).
  void UpdateCommandStates();
  // The close rules, as the close box, "Exit" and the view's Exit button reach them.
  void OnClose();
  // The settings store of the program.
  static winfw::Settings& settings();

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  int OnCreate();
  void OnSize();
  void OnCommand(int id, int code);
  void OnInitMenuPopup(HMENU menu);
  void OnMenuSelect(UINT item, UINT flags, HMENU menu);
  bool OnSetCursor();
  void OnSoftwareHelp();
  void OnCustomize();
  void ApplyMenuLook();
  // Throws the working folder away and destroys the window.
  void CloseNow();
  // Adds the files a second start handed over, as "Select files" adds them; refused, with a
  // box, while a job runs.
  void OnFilesHanded();

  FrameBars bars_;
  HWND logo_ = nullptr;
  HWND customize_ = nullptr;
  winfw::Bitmap logo_bitmap_;
  HCURSOR hand_ = nullptr;
  unsigned look_ = 215;
  winfw::Brush menu_brush_;
  std::unique_ptr<CVelmoraView> view_;
  JobThread worker_;
  bool splash_enabled_ = false;
  // The exit question is open.
  bool asking_close_ = false;
  std::vector<std::wstring> handed_files_;
  // The user confirmed the close while a job's worker was still alive: it happens when the
  // worker has ended.
  bool close_when_ended_ = false;
  std::unique_ptr<CSplashWindow> splash_;
  // The splash is made and waits for the frame's first showing.
  bool splash_waits_ = false;
};

}  // namespace velmora::ui
