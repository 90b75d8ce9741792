// The real frame and view made in the test's own process, with scripted dialogs in place of
// the modal ones and a private working folder; and helpers that drive and read the window
// the way a user's clicks and an automation tool would.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/dialogs/dialogs.h"
#include "ui/frame/main_frame.h"
#include "ui/view/velmora_view.h"

namespace velmora::ui::test {

// Answers the dialogs from queues and records every message box. Message boxes without an
// owner come from the worker thread, so everything is guarded.
class ScriptedDialogs : public Dialogs {
 public:
  struct Box {
    std::wstring text;
    unsigned flags;
    bool owned;
  };

  int ShowMessageBox(HWND owner, const std::wstring& text, unsigned flags) override;
  bool OpenFiles(HWND owner, std::vector<std::wstring>& paths) override;
  bool BrowseFolder(HWND owner, std::wstring& path) override;

  // The next box is answered with `id`; without a queued answer, a question gets No and any
  // other box OK.
  void Answer(int id);
  // The next open-file dialog returns these paths (an empty list: the dialog is cancelled).
  void Open(std::vector<std::wstring> paths);
  // The next folder browser returns this path (empty: cancelled).
  void Browse(std::wstring path);
  // Runs on the next box before it is answered (on the thread that raised it).
  void OnNextBox(std::function<void()> action);

  std::vector<Box> boxes() const;
  void ClearBoxes();

 private:
  mutable std::mutex mutex_;
  std::deque<int> answers_;
  std::deque<std::vector<std::wstring>> opens_;
  std::deque<std::wstring> browses_;
  std::function<void()> box_action_;
  std::vector<Box> boxes_;
};

// Messages are dispatched until `done()` or `timeout_ms`; false on time-out.
bool Pump(const std::function<bool()>& done, DWORD timeout_ms = 30000);
// Lets the messages already queued be handled.
void PumpPending();

// A folder of its own under the temporary-files folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// A file of the source tree (forward slashes) as a full Windows path.
std::wstring SourceFile(const std::string& relative);
bool CopyInto(const std::wstring& from, const std::wstring& to);
bool Exists(const std::wstring& path);
bool IsDir(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// The frame with its view, created as the program creates it (not shown maximised: the test
// sizes it), with the scripted dialogs and a private working folder in force. With
// `splash`, the frame shows its splash screen while it is made, as the program's does.
class GuiHarness {
 public:
  explicit GuiHarness(bool splash = false);
  ~GuiHarness();
  CMainFrame& frame() { return *frame_; }
  CVelmoraView& view() { return *frame_->m_pView; }
  ScriptedDialogs& dialogs() { return dialogs_; }
  const std::wstring& work() const { return work_; }
  TempDir& temp() { return temp_; }
  bool alive() const { return frame_ != nullptr && IsWindow(frame_hwnd_); }

  // BM_CLICK on a child of the view, as an automation tool posts it, then the queue handled.
  void Click(int id);
  // The same click without handling the queue afterwards: a worker it starts stays at its
  // first call to the window until the test pumps messages.
  void Press(int id);
  // Waits until no job runs and its worker has been joined.
  bool WaitIdle(DWORD timeout_ms = 60000);
  // A menu command of the frame.
  void Command(int id);

 private:
  TempDir temp_;
  std::wstring work_;
  ScriptedDialogs dialogs_;
  Dialogs* previous_ = nullptr;
  std::unique_ptr<CMainFrame> frame_;
  HWND frame_hwnd_ = nullptr;
};

// The state of a control as a user sees it.
bool Enabled(HWND hwnd);
bool Visible(HWND hwnd);
std::wstring Text(HWND hwnd);

}  // namespace velmora::ui::test

namespace velmora::ui::test {

// From another thread, waits (up to 20 s) for a visible dialog ("#32770") of the process
// `pid` (0: this one) titled `title` (empty: any title), then runs `act` on it there, as an
// outside tool answering it would. `found` tells whether the dialog came.
class DialogAnswerer {
 public:
  DialogAnswerer(std::wstring title, std::function<void(HWND)> act, DWORD pid = 0);
  ~DialogAnswerer();
  bool found() const { return found_; }

 private:
  std::wstring title_;
  std::function<void(HWND)> act_;
  DWORD pid_;
  std::atomic<bool> found_{false};
  std::thread thread_;
};

// Presses a dialog's button by id, the way a click would reach it.
void PressButton(HWND dialog, int id);
// The texts of a window's children, joined by newlines.
std::wstring ChildTexts(HWND parent);

}  // namespace velmora::ui::test
