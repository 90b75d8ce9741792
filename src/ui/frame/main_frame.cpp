#include "ui/frame/main_frame.h"

#include <commctrl.h>
#include <io.h>
#include <shellapi.h>

#include "engine/job/working_folder.h"
#include "platform/platform.h"
#include "ui/about/about_dlg.h"
#include "ui/app/instance_handover.h"
#include "ui/app/visual_style.h"
#include "ui/dialogs/dialogs.h"
#include "ui/frame/toolbar_customize.h"
#include "ui/resource_ids.h"
#include "ui/view/velmora_view.h"
#include "winfw/bitmaps.h"
#include "winfw/controls.h"
#include "winfw/handles.h"
#include "winfw/message_pump.h"

namespace velmora::ui {

namespace {

constexpr const wchar_t* kMakerSite = L"https://www.velmora.example/";
constexpr const wchar_t* kProductPage = L"https://www.velmora.example/ods-repair/";
constexpr int kViewId = 0xE900;  // the first pane of a frame

}  // namespace

winfw::Settings& CMainFrame::settings() {
  static winfw::Settings store(L"Velmora", L"Velmora");
  return store;
}

CMainFrame::CMainFrame() {
  look_ = settings().ReadDword(L"ApplicationLook", kLookDefault);
  hand_ = LoadCursorW(nullptr, IDC_HAND);
}

CMainFrame::~CMainFrame() {
  WaitForWorker();
  view_.reset();
}

bool CMainFrame::Create() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  winfw::WindowClassArgs wc;
  wc.name = kFrameClass;
  wc.icon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  wc.small_icon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  wc.background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  if (!winfw::RegisterWindowClass(wc)) return false;
  winfw::WindowArgs args;
  args.class_name = kFrameClass;
  args.title = kFrameTitle;
  args.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  args.menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  return Window::Create(args);
}

LRESULT CMainFrame::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: {
      const LRESULT result = Default(message, wparam, lparam);
      if (!result) return result;
      winfw::ControlArgs logo;
      logo.parent = hwnd();
      logo.id = ID_LOGO_NC_BUTTON;
      logo.text = L"Velmora";
      logo.style = WS_VISIBLE | SS_NOTIFY | SS_CENTERIMAGE | SS_BITMAP;
      logo_ = winfw::CreateControl(logo);
      logo_bitmap_ = winfw::LoadBitmapResource(IDB_LOGO);
      if (logo_ != nullptr && logo_bitmap_) {
        SendMessageW(logo_, STM_SETIMAGE, IMAGE_BITMAP,
                     reinterpret_cast<LPARAM>(logo_bitmap_.get()));
      }
      return 1;
    }
    case WM_CREATE:
      return OnCreate();
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      info->ptMinTrackSize = {kMinTrackWidth, kMinTrackHeight};
      return Default(message, wparam, lparam);
    }
    case WM_SETCURSOR:
      if (OnSetCursor()) return TRUE;
      return Default(message, wparam, lparam);
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_WINDOWPOSCHANGED:
      if (splash_waits_ && (reinterpret_cast<const WINDOWPOS*>(lparam)->flags & SWP_SHOWWINDOW)) {
        // The frame is showing: once it is shown and active, the splash comes over it.
        splash_waits_ = false;
        PostMessageW(hwnd(), kMsgShowSplash, 0, 0);
      }
      return Default(message, wparam, lparam);
    case kMsgShowSplash:
      if (splash_ != nullptr && IsWindow(splash_->hwnd())) {
        splash_->ShowSplash();
        SetWindowPos(splash_->hwnd(), HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        UpdateWindow(splash_->hwnd());
      }
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_INITMENUPOPUP:
      OnInitMenuPopup(reinterpret_cast<HMENU>(wparam));
      return 0;
    case WM_MENUSELECT:
      OnMenuSelect(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HMENU>(lparam));
      return 0;
    case WM_NOTIFY: {
      bool handled = false;
      const LRESULT result = bars_.OnNotify(reinterpret_cast<NMHDR*>(lparam), handled);
      return handled ? result : Default(message, wparam, lparam);
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_ACTIVATE:
      bars_.RefreshIndicators();
      return Default(message, wparam, lparam);
    case WM_SETFOCUS:
      if (m_pView != nullptr) SetFocus(m_pView->hwnd());
      return 0;
    case kMsgJobEnded:
      // The window shows all the job did before it counts as ended.
      if (m_pView != nullptr) m_pView->DrainJobCalls();
      if (worker_.Ended()) {
        worker_.Join();
        if (!worker_.end().completed) {
          CurrentDialogs().ShowMessageBox(hwnd(), L"The running process ended unexpectedly.",
                                          MB_ICONINFORMATION);
        }
        if (close_when_ended_) CloseNow();
      }
      return 0;
    case WM_COPYDATA: {
      // Files of a second start of the program: taken now (the data lives only for this
      // message), added once the sender has its answer, so that a box does not hold it.
      std::vector<std::wstring> files =
          HandedFiles(*reinterpret_cast<const COPYDATASTRUCT*>(lparam));
      if (files.empty()) return FALSE;
      handed_files_.insert(handed_files_.end(), files.begin(), files.end());
      PostMessageW(hwnd(), kMsgFilesHanded, 0, 0);
      return TRUE;
    }
    case kMsgFilesHanded:
      OnFilesHanded();
      return 0;
    case WM_DESTROY:
      WaitForWorker();
      PostQuitMessage(0);
      return 0;
    default:
      return Default(message, wparam, lparam);
  }
}

int CMainFrame::OnCreate() {
  ApplyLook(look_);
  if (!bars_.Create(hwnd())) return -1;
  bars_.SetLook(ColoursOf(look_));
  view_ = std::make_unique<CVelmoraView>(*this);
  if (!view_->Create(hwnd(), kViewId)) return -1;
  // The logo sits over the toolbar's right end.
  SetWindowPos(logo_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  bars_.SetStatusText(L"Velmora");
  UpdateCommandStates();
  if (splash_enabled_) {
    // Made now, shown as the frame first shows (a top-most window shown before its owner may
    // end up under it), then gone by itself after two seconds; a missing picture only means
    // no splash.
    splash_ = std::make_unique<CSplashWindow>();
    splash_waits_ =
        splash_->CreateSplash(hwnd(), L"", 2000,
                              CSplashWindow::kFadeIn | CSplashWindow::kFadeOut |
                                  CSplashWindow::kShadow | CSplashWindow::kCentreOnScreen) &&
        splash_->LoadSplashPicture();
  }
  return 0;
}

void CMainFrame::OnSize() {
  RECT client{};
  GetClientRect(hwnd(), &client);
  const RECT area = bars_.Layout(client);
  if (m_pView != nullptr) {
    MoveWindow(m_pView->hwnd(), area.left, area.top, area.right - area.left, area.bottom - area.top,
               TRUE);
  }
  if (logo_ != nullptr) {
    // The toolbar band's height decides the logo's top, so that it stays inside the band.
    RECT bar{};
    GetWindowRect(bars_.toolbar(), &bar);
    const int band = bar.bottom - bar.top;
    const int top = band > 50 ? (band - 50) / 2 : 0;
    MoveWindow(logo_, client.right - 250, top, 245, 50, TRUE);
  }
}

bool CMainFrame::OnSetCursor() {
  if (logo_ == nullptr || hand_ == nullptr) return false;
  POINT p{};
  GetCursorPos(&p);
  RECT r{};
  GetWindowRect(logo_, &r);
  if (!PtInRect(&r, p)) return false;
  SetCursor(hand_);
  return true;
}

void CMainFrame::OnClose() {
  if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_SHOWMAXIMIZED);
  if (JobRunning_.load() != 0) {
    CurrentDialogs().ShowMessageBox(
        hwnd(), L"Please stop the running process before closing the application.",
        MB_ICONINFORMATION);
    return;
  }
  // A close that comes while the question is open, or after a Yes that waits for the job to
  // end (a second click, "End task"), is the same request: it asks nothing more.
  if (asking_close_ || close_when_ended_) return;
  asking_close_ = true;
  const bool yes = CurrentDialogs().ShowMessageBox(hwnd(), L"Do you really want to exit?",
                                                   MB_YESNO | MB_ICONQUESTION) == IDYES;
  asking_close_ = false;
  if (!yes) return;
  if (WorkerBusy()) {
    // A stopped job may still be finishing its current file, or the close came while a box
    // of the job (the save's final one) is open further down this thread: waiting here would
    // never end, as the job waits for that box. The window closes when the job has ended.
    close_when_ended_ = true;
    return;
  }
  CloseNow();
}

void CMainFrame::OnFilesHanded() {
  std::vector<std::wstring> files;
  files.swap(handed_files_);
  if (files.empty()) return;
  if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
  SetForegroundWindow(hwnd());
  CVelmoraView* view = m_pView;
  if (view == nullptr) return;
  if (JobRunning_.load() != 0 || WorkerBusy() || !view->m_bSelectAllowed) {
    CurrentDialogs().ShowMessageBox(hwnd(), kHandedFilesRefused, MB_ICONINFORMATION);
    return;
  }
  view->AddFiles(files);
}

void CMainFrame::CloseNow() {
  close_when_ended_ = false;
  if (m_pView != nullptr) m_pView->DiscardWorkingFolder();
  DestroyWindow(hwnd());
}

void CMainFrame::OnCommand(int id, int code) {
  CVelmoraView* view = m_pView;
  switch (id) {
    case ID_LOGO_NC_BUTTON:
      if (code == STN_CLICKED)
        ShellExecuteW(hwnd(), L"open", kMakerSite, nullptr, nullptr, SW_SHOWNORMAL);
      return;
    case ID_SELECT_FILES:
      if (view != nullptr && view->m_bSelectAllowed) view->OnSelectFiles();
      return;
    case ID_REMOVE_FILES:
      if (view != nullptr && view->m_bRemoveRepairAllowed) view->OnRemoveFiles();
      return;
    case ID_REPAIR_FILES:
      if (view != nullptr && view->m_bRemoveRepairAllowed) view->OnRepairFiles();
      return;
    case ID_BROWSE_FOLDER:
      if (view != nullptr && view->m_bSaveAllowed) view->OnBrowse();
      return;
    case ID_SAVE_FILES:
      if (view != nullptr && view->m_bSaveAllowed) view->OnSaveFiles();
      return;
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
      if (view != nullptr && view->m_bSelectAllowed) view->OnSelectFiles();
      return;
    case ID_FILE_SAVE:
      if (view != nullptr && view->m_bSaveAllowed) view->OnSaveFiles();
      return;
    case ID_APP_EXIT:
      OnClose();
      return;
    case ID_ABOUT_VELMORA:
    case ID_APP_ABOUT:
      ShowAboutBox(hwnd());
      return;
    case ID_SOFTWARE_HELP:
      OnSoftwareHelp();
      return;
    case ID_VISIT_WEBPAGE: {
      winfw::WaitCursor wait;
      ShellExecuteW(hwnd(), L"open", kProductPage, nullptr, nullptr, SW_SHOWNORMAL);
      return;
    }
    case ID_VIEW_CUSTOMIZE:
      OnCustomize();
      return;
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE:
    case ID_EDIT_UNDO: {
      // The editing keys of the accelerator table act on the field that has the focus (the
      // destination), which would not see them otherwise.
      const HWND focus = GetFocus();
      if (focus == nullptr || !IsChild(hwnd(), focus)) return;
      const UINT action = id == ID_EDIT_CUT     ? WM_CUT
                          : id == ID_EDIT_COPY  ? WM_COPY
                          : id == ID_EDIT_PASTE ? WM_PASTE
                                                : WM_UNDO;
      SendMessageW(focus, action, 0, 0);
      return;
    }
    default:
      if (id >= static_cast<int>(kLookFirst) && id <= static_cast<int>(kLookLast)) {
        ApplyLook(static_cast<unsigned>(id));
      }
      return;
  }
}

JobThread::OnEnd CMainFrame::JobEndNotice() {
  const HWND frame = hwnd();
  return [frame](const JobEnd&) { PostMessageW(frame, kMsgJobEnded, 0, 0); };
}

void CMainFrame::WaitForWorker() {
  winfw::PumpMessagesUntil([this] { return !worker_.Joinable() || worker_.Ended(); });
  worker_.Join();
  if (m_pView != nullptr && m_pView->hwnd() != nullptr) m_pView->DrainJobCalls();
}

void CMainFrame::OnSoftwareHelp() {
  wchar_t module[520] = {};
  GetModuleFileNameW(nullptr, module, 520);
  std::wstring path(module);
  path.erase(path.find_last_of(L'\\') + 1);
  path += L"Velmora.chm";
  if (_waccess(path.c_str(), 0) != 0) {
    CurrentDialogs().ShowMessageBox(
        hwnd(), L"Velmora help file not found, please re-install the software. ",
        MB_ICONINFORMATION);
    return;
  }
  ShellExecuteW(hwnd(), L"open", path.c_str(), nullptr, nullptr, SW_SHOW);
}

void CMainFrame::OnCustomize() {
  customize_ = ShowToolbarCustomize(hwnd(), bars_);
}

void CMainFrame::OnInitMenuPopup(HMENU menu) {
  const CVelmoraView* view = m_pView;
  const bool select = view != nullptr && view->m_bSelectAllowed;
  const bool remove_repair = view != nullptr && view->m_bRemoveRepairAllowed;
  const bool save = view != nullptr && view->m_bSaveAllowed;
  auto enable = [menu](int id, bool on) {
    EnableMenuItem(menu, static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  };
  enable(ID_SELECT_FILES, select);
  enable(ID_REMOVE_FILES, remove_repair);
  enable(ID_REPAIR_FILES, remove_repair);
  enable(ID_BROWSE_FOLDER, save);
  enable(ID_SAVE_FILES, save);
  for (unsigned id = kLookFirst; id <= kLookLast; ++id) {
    CheckMenuItem(menu, id, MF_BYCOMMAND | (id == look_ ? MF_CHECKED : MF_UNCHECKED));
  }
}

void CMainFrame::OnMenuSelect(UINT item, UINT flags, HMENU menu) {
  if (flags == 0xFFFF && menu == nullptr) {
    bars_.SetStatusText(L"Velmora");  // the menu closed
    return;
  }
  if ((flags & (MF_POPUP | MF_SEPARATOR)) != 0) {
    bars_.SetStatusText(L"");
    return;
  }
  bars_.SetStatusText(FrameBars::CommandPrompt(static_cast<int>(item)));
}

void CMainFrame::UpdateCommandStates() {
  const CVelmoraView* view = m_pView;
  bars_.EnableCommand(ID_SELECT_FILES, view != nullptr && view->m_bSelectAllowed);
  bars_.EnableCommand(ID_REMOVE_FILES, view != nullptr && view->m_bRemoveRepairAllowed);
  bars_.EnableCommand(ID_REPAIR_FILES, view != nullptr && view->m_bRemoveRepairAllowed);
  bars_.EnableCommand(ID_BROWSE_FOLDER, view != nullptr && view->m_bSaveAllowed);
  bars_.EnableCommand(ID_SAVE_FILES, view != nullptr && view->m_bSaveAllowed);
}

void CMainFrame::ApplyLook(unsigned look) {
  look_ = look;
  settings().WriteDword(L"ApplicationLook", look);
  bars_.SetLook(ColoursOf(look));
  ApplyMenuLook();
}

void CMainFrame::ApplyMenuLook() {
  const HMENU menu = GetMenu(hwnd());
  if (menu == nullptr) return;
  menu_brush_.Reset(CreateSolidBrush(ColoursOf(look_).menu_back));
  MENUINFO info{};
  info.cbSize = sizeof info;
  info.fMask = MIM_BACKGROUND;
  info.hbrBack = menu_brush_.get();
  SetMenuInfo(menu, &info);
  DrawMenuBar(hwnd());
}

}  // namespace velmora::ui
