#include "ui/view/velmora_view.h"

#include <richedit.h>
#include <wchar.h>

#include "ui/frame/main_frame.h"
#include "ui/resource_ids.h"
#include "ui/view/rich_text.h"
#include "ui/view/view_layout.h"
#include "winfw/bitmaps.h"
#include "winfw/memory_dc.h"

namespace velmora::ui {

namespace {

constexpr const wchar_t* kViewClass = L"VelmoraView";
constexpr COLORREF kBodyColour = RGB(252, 230, 154);

bool IsShown(HWND hwnd) {
  return hwnd != nullptr && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool IsPushButton(HWND hwnd) {
  wchar_t name[16] = {};
  if (hwnd == nullptr || GetClassNameW(hwnd, name, 16) == 0 || _wcsicmp(name, L"Button") != 0) {
    return false;
  }
  const LONG_PTR type = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW;
}

void Place(HWND hwnd, const RECT& r) {
  if (hwnd != nullptr) MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

}  // namespace

CVelmoraView::CVelmoraView(CMainFrame& frame) : frame_(frame), proxy_(*this) {}

CVelmoraView::~CVelmoraView() {
  if (frame_.m_pView == this) frame_.m_pView = nullptr;
  if (images_ != nullptr) ImageList_Destroy(images_);
}

bool CVelmoraView::Create(HWND parent, int id) {
  winfw::WindowClassArgs wc;
  wc.name = kViewClass;
  if (!winfw::RegisterWindowClass(wc)) return false;
  winfw::WindowArgs args;
  args.class_name = kViewClass;
  args.style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
  args.ex_style = WS_EX_ACCEPTFILES;
  args.x = args.y = args.width = args.height = 0;
  args.parent = parent;
  args.menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  if (!Window::Create(args)) return false;
  proxy_.set_view(hwnd());
  proxy_.set_before_box([this] { FlushLog(); });
  return true;
}

JobContext CVelmoraView::context() {
  JobContext context;
  context.job_running = &frame_.job_running();
  context.view = &proxy_;
  return context;
}

HWND CVelmoraView::StaticLabel(const wchar_t* text, HFONT font, DWORD style) {
  winfw::ControlArgs args;
  args.parent = hwnd();
  args.id = IDC_TARVIK_STATIC;
  args.text = text;
  args.style = WS_VISIBLE | style;
  args.font = font;
  return winfw::CreateControl(args);
}

int CVelmoraView::OnCreate() {
  background_.Reset(CreateSolidBrush(kBodyColour));
  regular_font_.Reset(CreateFontW(18, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  FF_SWISS, L"Times New Roman"));
  bold_font_.Reset(CreateFontW(16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS,
                               L"Arial"));
  banner_ = winfw::LoadBitmapResource(IDB_BANNER);
  banner_filler_ = winfw::LoadBitmapResource(IDB_BANNER_FILLER);
  footer_ = winfw::LoadBitmapResource(IDB_FOOTER);
  footer_logo_ = winfw::LoadBitmapResource(IDB_FOOTER_LOGO);
  list_background_source_ = winfw::LoadBitmapResource(IDB_LIST_BACKGROUND);
  if (!CreateControls()) return -1;

  // Creation step: the flags and the controls as a fresh start shows them.
  frame_.m_pView = this;
  SendMessageW(media_check_, BM_SETCHECK, BST_CHECKED, 0);
  ClearEntries();
  ApplyCreatedStep();
  return 0;
}

void CVelmoraView::OnSize(int width, int height) {
  const ViewLayout l =
      ComputeViewLayout(width, height, IsShown(file_label_), IsShown(total_label_));
  Place(select_.hwnd(), l.select);
  Place(remove_.hwnd(), l.remove);
  Place(repair_.hwnd(), l.repair);
  Place(preview_label_, l.preview_label);
  Place(list_.hwnd(), l.file_list);
  RenewListBackground(l.list_background.cx, l.list_background.cy);
  Place(picture_.hwnd(), l.preview);
  Place(save_label_, l.save_label);
  Place(destination_.hwnd(), l.destination);
  Place(browse_.hwnd(), l.browse);
  Place(save_.hwnd(), l.save);
  Place(media_check_, l.media_check);
  Place(stop_.hwnd(), l.stop);
  Place(exit_.hwnd(), l.exit);
  Place(help_, l.help_box);
  const RECT log_before = winfw::ChildRect(log_);
  Place(log_, l.log);
  // A log that changed its height (the progress rows came or went) keeps its last line in
  // sight.
  if (log_ != nullptr && log_before.bottom - log_before.top != l.log.bottom - l.log.top) {
    ShowLastLine(log_);
  }
  if (IsShown(file_label_)) {
    Place(file_label_, l.file_label);
    Place(file_bar_.hwnd(), l.file_bar);
  }
  if (IsShown(total_label_)) {
    Place(total_label_, l.total_label);
    Place(total_bar_.hwnd(), l.total_bar);
  }
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void CVelmoraView::RenewListBackground(int width, int height) {
  if (!list_background_source_ || list_.hwnd() == nullptr || width <= 0 || height <= 0) return;
  // A relayout that leaves the list its size (a job showing its progress rows) keeps the
  // picture the list holds: scaling it anew takes a good part of a relayout.
  if (width == list_background_size_.cx && height == list_background_size_.cy) return;
  winfw::Bitmap scaled(static_cast<HBITMAP>(
      CopyImage(list_background_source_.get(), IMAGE_BITMAP, width, height, LR_CREATEDIBSECTION)));
  if (!scaled) return;
  LVBKIMAGEW image{};
  image.ulFlags = LVBKIF_SOURCE_HBITMAP | LVBKIF_STYLE_TILE;
  image.hbm = scaled.get();
  // The list takes the bitmap over and deletes the one it held before.
  if (SendMessageW(list_.hwnd(), LVM_SETBKIMAGEW, 0, reinterpret_cast<LPARAM>(&image))) {
    scaled.Release();
    list_background_size_ = {width, height};
  }
  InvalidateRect(list_.hwnd(), nullptr, TRUE);
}

void CVelmoraView::Paint(HDC target, const RECT& client) {
  winfw::MemoryPaintDc buffer(target);
  const HDC dc = buffer.dc();
  const int w = client.right;
  const int h = client.bottom;
  winfw::MemoryDc source(dc);
  auto blit = [&](HBITMAP bitmap, int x, int y, int width, int height, bool stretch) {
    if (bitmap == nullptr) return;
    const SIZE size = winfw::BitmapSize(bitmap);
    winfw::SelectObj select(source.get(), bitmap);
    if (stretch) {
      SetStretchBltMode(dc, HALFTONE);
      StretchBlt(dc, x, y, width, height, source.get(), 0, 0, size.cx, size.cy, SRCCOPY);
    } else {
      BitBlt(dc, x, y, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
    }
  };
  blit(banner_.get(), 0, 0, 0, 0, false);
  if (w - 100 > 173 && banner_filler_) {
    blit(banner_filler_.get(), 400, 0, w - 400, winfw::BitmapSize(banner_filler_.get()).cy, true);
  }
  RECT body{0, 72, w, h - 50};
  FillRect(dc, &body, background_.get());
  if (footer_) blit(footer_.get(), 0, h - 60, w, winfw::BitmapSize(footer_.get()).cy, true);
  blit(footer_logo_.get(), 0, h - 60, 0, 0, false);
}

LRESULT CVelmoraView::OnCtlColor(UINT message, HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == ID_TARVIK_BROWSE_EDIT_CTRL) {
    bool handled = false;
    const LRESULT brush =
        destination_.OnReflected(message, reinterpret_cast<WPARAM>(dc), 0, handled);
    if (handled) return brush;
  }
  const LRESULT base =
      Default(message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  if (id == IDC_TARVIK_STATIC || id == ID_CHECK_BTN_EXTRACT_FILE_CONTENT) {
    SetBkMode(dc, TRANSPARENT);
    SetBkColor(dc, kBodyColour);
    return reinterpret_cast<LRESULT>(background_.get());
  }
  return base;
}

LRESULT CVelmoraView::OnNotify(NMHDR* header) {
  if (header->hwndFrom == list_.hwnd()) {
    bool handled = false;
    const LRESULT result =
        list_.OnReflected(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(header), handled);
    if (handled) return result;
  }
  return Default(WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

bool CVelmoraView::PreTranslateMessage(const MSG& msg) {
  if (msg.hwnd == nullptr || (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd))) return false;
  if (msg.message == WM_MOUSEMOVE) {
    ShowStatusHint(msg.hwnd);
    return false;
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
    // Tab and Shift+Tab walk the controls as in a dialog, in reading order; the view is a
    // plain window, so the dialog manager (whose Enter and Escape would reach ids 1 and 2) is
    // not used.
    const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    HWND from = msg.hwnd;
    while (from != nullptr && GetParent(from) != hwnd()) from = GetParent(from);
    if (HWND next = NextTabStop(from, back)) {
      SetFocus(next);
      // The destination field comes with its text selected, ready to be typed over.
      if (next == destination_.hwnd()) SendMessageW(next, EM_SETSEL, 0, -1);
    }
    return true;
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && IsPushButton(msg.hwnd) &&
      GetParent(msg.hwnd) == hwnd()) {
    // Enter presses the focused button, as Space does.
    SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
    return true;
  }
  return false;
}

std::vector<HWND> CVelmoraView::TabOrder() const {
  return {list_.hwnd(),   select_.hwnd(), remove_.hwnd(), repair_.hwnd(), destination_.hwnd(),
          browse_.hwnd(), save_.hwnd(),   stop_.hwnd(),   media_check_,   exit_.hwnd()};
}

HWND CVelmoraView::NextTabStop(HWND from, bool back) const {
  const std::vector<HWND> order = TabOrder();
  const int n = static_cast<int>(order.size());
  int at = -1;
  for (int i = 0; i < n; ++i) {
    if (order[static_cast<size_t>(i)] == from) at = i;
  }
  if (at < 0) at = back ? 0 : n - 1;
  for (int step = 1; step <= n; ++step) {
    const int i = ((back ? at - step : at + step) % n + n) % n;
    const HWND candidate = order[static_cast<size_t>(i)];
    if (candidate != nullptr && IsShown(candidate) && IsWindowEnabled(candidate)) return candidate;
  }
  return nullptr;
}

void CVelmoraView::ShowStatusHint(HWND over) {
  if (over == entry_list_) return;
  wchar_t text[260] = {};
  GetWindowTextW(over, text, 260);
  frame_.SetStatusText(text);
}

LRESULT CVelmoraView::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_SIZE:
      OnSize(LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_ERASEBKGND:
      return 0;
    case WM_TIMER:
      if (wparam == kLogFlushTimer) {
        OnLogTimer();
        return 0;
      }
      if (wparam == kJobQueueTimer) {
        proxy_.Drain();
        return 0;
      }
      return Default(message, wparam, lparam);
    case WM_SETFOCUS:
      if (list_.hwnd() != nullptr) SetFocus(list_.hwnd());
      return 0;
    case WM_PAINT: {
      winfw::PaintDc paint(hwnd());
      RECT client{};
      GetClientRect(hwnd(), &client);
      Paint(paint.get(), client);
      return 0;
    }
    case WM_PRINTCLIENT: {
      RECT client{};
      GetClientRect(hwnd(), &client);
      Paint(reinterpret_cast<HDC>(wparam), client);
      return 0;
    }
    case WM_COMMAND:
      return OnCommand(LOWORD(wparam), HIWORD(wparam));
    case WM_NOTIFY:
      return OnNotify(reinterpret_cast<NMHDR*>(lparam));
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      for (ImageButton* b : {&select_, &remove_, &repair_, &save_, &stop_, &exit_, &browse_}) {
        if (b->hwnd() == item->hwndItem) {
          b->Draw(*item);
          return TRUE;
        }
      }
      return Default(message, wparam, lparam);
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return OnCtlColor(message, reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case kPreviewRequest:
      OnPreviewRequest(static_cast<int>(wparam));
      return 0;
    case kMsgJobCall:
      proxy_.OnCall(*reinterpret_cast<const JobCall*>(lparam));
      return 0;
    case kMsgJobQueued:
      proxy_.OnQueued();
      return 0;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wparam));
      return 0;
    default:
      return Default(message, wparam, lparam);
  }
}

LRESULT CVelmoraView::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return 0;
  switch (id) {
    case ID_TARVIK_BTN_SELECT_FILES:
      OnSelectFiles();
      break;
    case ID_TARVIK_BTN_REMOVE_FILES:
      OnRemoveFiles();
      break;
    case ID_TARVIK_BTN_RECOVER_FILES:
      OnRepairFiles();
      break;
    case ID_TARVIK_BTN_SAVE_FILES:
      OnSaveFiles();
      break;
    case ID_TARVIK_BTN_BROWSE:
      OnBrowse();
      break;
    case ID_TARVIK_BTN_STOP:
      OnStop();
      break;
    case ID_TARVIK_BTN_EXIT:
      frame_.OnClose();
      break;
    default:
      break;  // the Extract Media check box needs nothing
  }
  return 0;
}

}  // namespace velmora::ui
