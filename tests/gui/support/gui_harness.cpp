#include "gui_harness.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>

#include "engine/job/working_folder.h"
#include "winfw/controls.h"
#include "winfw/gdiplus_session.h"
#include "winfw/message_pump.h"

namespace velmora::ui::test {

namespace {

// What the program sets up once before its window: common controls, COM, GDI+.
class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    OleInitialize(nullptr);
    gdiplus_ = std::make_unique<winfw::GdiplusSession>();
  }
  void TearDown() override {
    gdiplus_.reset();
    OleUninitialize();
  }

 private:
  std::unique_ptr<winfw::GdiplusSession> gdiplus_;
};

[[maybe_unused]] auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace

int ScriptedDialogs::ShowMessageBox(HWND owner, const std::wstring& text, unsigned flags) {
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back({text, flags, owner != nullptr});
    action = std::move(box_action_);
    box_action_ = nullptr;
  }
  if (action) action();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!answers_.empty()) {
    const int id = answers_.front();
    answers_.pop_front();
    return id;
  }
  return (flags & MB_YESNO) != 0 ? IDNO : IDOK;
}

bool ScriptedDialogs::OpenFiles(HWND, std::vector<std::wstring>& paths) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (opens_.empty()) return false;
  paths = std::move(opens_.front());
  opens_.pop_front();
  return !paths.empty();
}

bool ScriptedDialogs::BrowseFolder(HWND, std::wstring& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (browses_.empty()) return false;
  path = std::move(browses_.front());
  browses_.pop_front();
  return !path.empty();
}

void ScriptedDialogs::Answer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(id);
}

void ScriptedDialogs::Open(std::vector<std::wstring> paths) {
  std::lock_guard<std::mutex> lock(mutex_);
  opens_.push_back(std::move(paths));
}

void ScriptedDialogs::Browse(std::wstring path) {
  std::lock_guard<std::mutex> lock(mutex_);
  browses_.push_back(std::move(path));
}

void ScriptedDialogs::OnNextBox(std::function<void()> action) {
  std::lock_guard<std::mutex> lock(mutex_);
  box_action_ = std::move(action);
}

std::vector<ScriptedDialogs::Box> ScriptedDialogs::boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

void ScriptedDialogs::ClearBoxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.clear();
}

bool Pump(const std::function<bool()>& done, DWORD timeout_ms) {
  return winfw::PumpMessagesUntil(done, timeout_ms);
}

void PumpPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  path_ = std::wstring(base) + L"velmora-gui-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(counter++);
  RemoveTree(path_);
  CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

std::wstring SourceFile(const std::string& relative) {
  const std::string unix_path = std::string(VELMORA_SOURCE_DIR) + "/" + relative;
  std::wstring wide(unix_path.begin(), unix_path.end());
  // Wine shows the Unix root as drive Z:. Without the drive, "\work\..." would be read on the
  // current drive, which a test that drives the real file dialog may have changed.
  if (!wide.empty() && wide[0] == L'/') wide.insert(0, L"Z:");
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  wchar_t full[MAX_PATH] = {};
  GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
  return full;
}

bool CopyInto(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDir(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void RemoveTree(const std::wstring& path) {
  if (!IsDir(path)) {
    DeleteFileW(path.c_str());
    return;
  }
  velmora::DeleteFolderTree(path);
  RemoveDirectoryW(path.c_str());
}

GuiHarness::GuiHarness(bool splash) {
  work_ = temp_ / L"ClcTemp";
  SetWorkingFolderOverride(work_);
  previous_ = SetDialogs(&dialogs_);
  frame_ = std::make_unique<CMainFrame>();
  frame_->EnableSplash(splash);
  if (!frame_->Create()) {
    ADD_FAILURE() << "the frame could not be created";
    return;
  }
  frame_hwnd_ = frame_->hwnd();
  SetWindowPos(frame_hwnd_, nullptr, 0, 0, 1024, 768, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(frame_hwnd_, SW_SHOWNORMAL);
  UpdateWindow(frame_hwnd_);
  PumpPending();
}

GuiHarness::~GuiHarness() {
  if (alive()) {
    frame_->WaitForWorker();
    DestroyWindow(frame_hwnd_);
  }
  frame_.reset();
  // The frame's WM_DESTROY asked the loop to end; a test has no loop to end.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message != WM_QUIT) DispatchMessageW(&msg);
  }
  SetDialogs(previous_);
  SetWorkingFolderOverride(L"");
}

void GuiHarness::Click(int id) {
  SendMessageW(view().Child(id), BM_CLICK, 0, 0);
  PumpPending();
}

void GuiHarness::Press(int id) {
  SendMessageW(view().Child(id), BM_CLICK, 0, 0);
}

void GuiHarness::Command(int id) {
  SendMessageW(frame_hwnd_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
  PumpPending();
}

bool GuiHarness::WaitIdle(DWORD timeout_ms) {
  return Pump([this] { return frame_->job_running().load() == 0 && !frame_->worker().Joinable(); },
              timeout_ms);
}

bool Enabled(HWND hwnd) {
  return hwnd != nullptr && IsWindowEnabled(hwnd);
}

bool Visible(HWND hwnd) {
  return hwnd != nullptr && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::wstring Text(HWND hwnd) {
  return winfw::WindowText(hwnd);
}

}  // namespace velmora::ui::test

namespace velmora::ui::test {

namespace {

struct Search {
  const std::wstring* title;
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM lparam) {
  auto* search = reinterpret_cast<Search*>(lparam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (pid == search->pid && IsWindowVisible(hwnd) && wcscmp(cls, L"#32770") == 0 &&
      (search->title->empty() || Text(hwnd) == *search->title)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

DialogAnswerer::DialogAnswerer(std::wstring title, std::function<void(HWND)> act, DWORD pid)
    : title_(std::move(title)), act_(std::move(act)), pid_(pid != 0 ? pid : GetCurrentProcessId()) {
  thread_ = std::thread([this] {
    for (int i = 0; i < 400; ++i) {
      Search search{&title_, pid_, nullptr};
      EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) {
        found_ = true;
        act_(search.found);
        return;
      }
      Sleep(50);  // polling another thread's window from outside; not a test's wait
    }
  });
}

DialogAnswerer::~DialogAnswerer() {
  if (thread_.joinable()) thread_.join();
}

std::wstring ChildTexts(HWND parent) {
  std::wstring all;
  for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
    all += Text(c) + L"\n";
  return all;
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace velmora::ui::test
