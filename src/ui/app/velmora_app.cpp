#include "ui/app/velmora_app.h"

#include <commctrl.h>
#include <objbase.h>

#include "ui/app/instance_handover.h"
#include "ui/app/single_instance_guard.h"
#include "ui/resource_ids.h"
#include "ui/view/velmora_view.h"

namespace velmora::ui {

namespace {

// Made during static initialisation, before anything else of the program runs, and kept
// until the process ends: the mutex goes with the process.
SingleInstanceGuard& Guard() {
  static SingleInstanceGuard guard;
  return guard;
}
[[maybe_unused]] const bool g_guard_made = (Guard(), true);

}  // namespace

CVelmoraApp::CVelmoraApp() = default;

CVelmoraApp::~CVelmoraApp() {
  frame_.reset();
  gdiplus_.reset();
  if (com_) OleUninitialize();
}

bool CVelmoraApp::InitInstance(const std::vector<std::wstring>& files, int show) {
  INITCOMMONCONTROLSEX icc{8, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  com_ = SUCCEEDED(OleInitialize(nullptr));
  if (!com_) {
    wchar_t text[256] = {};
    LoadStringW(GetModuleHandleW(nullptr), IDP_OLE_INIT_FAILED, text, 256);
    MessageBoxW(nullptr, text, L"Velmora", MB_ICONERROR);
    return false;
  }
  if (Guard().AnotherCopyRuns()) {
    // Files named on the command line go to the running copy, which may still be making its
    // window: it is looked for a few times over five seconds.
    if (!files.empty()) {
      for (int attempt = 0; attempt < 25; ++attempt) {
        if (HandFilesTo(FindRunningFrame(), files)) return false;
        Sleep(200);
      }
    }
    MessageBoxW(nullptr, L"Another instance of application is already running", L"Velmora",
                MB_ICONINFORMATION);
    return false;
  }
  gdiplus_ = std::make_unique<winfw::GdiplusSession>();
  frame_ = std::make_unique<CMainFrame>();
  m_nVisualStyleId = frame_->look();
  frame_->EnableSplash(true);
  if (!frame_->Create()) return false;
  accelerators_ = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
  ShowWindow(frame_->hwnd(), show);
  UpdateWindow(frame_->hwnd());
  CVelmoraView* view = frame_->m_pView;
  if (view != nullptr && view->m_bSelectAllowed) {
    if (!files.empty()) {
      view->AddFiles(files);
    } else {
      view->OnSelectFiles();
    }
  }
  return true;
}

bool CVelmoraApp::PreTranslateMessage(MSG& msg) {
  if (frame_ == nullptr || frame_->hwnd() == nullptr) return false;
  if (msg.message == WM_MOUSEMOVE) {
    if (msg.hwnd == frame_->logo()) {
      wchar_t text[260] = {};
      GetWindowTextW(msg.hwnd, text, 260);
      frame_->SetStatusText(text);
    } else if (frame_->m_pView != nullptr) {
      frame_->m_pView->PreTranslateMessage(msg);
    }
  } else if (frame_->m_pView != nullptr && frame_->m_pView->PreTranslateMessage(msg)) {
    return true;
  }
  return accelerators_ != nullptr &&
         TranslateAcceleratorW(frame_->hwnd(), accelerators_, &msg) != 0;
}

int CVelmoraApp::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslateMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

std::vector<std::wstring> CommandLineFiles(int argc, wchar_t** argv) {
  std::vector<std::wstring> files;
  for (int i = 1; i < argc; ++i) {
    wchar_t full[32768] = {};
    const DWORD n = GetFullPathNameW(argv[i], 32768, full, nullptr);
    files.emplace_back(n > 0 && n < 32768 ? std::wstring(full, n) : std::wstring(argv[i]));
  }
  return files;
}

}  // namespace velmora::ui
