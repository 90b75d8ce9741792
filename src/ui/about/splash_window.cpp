#include "ui/about/splash_window.h"

#include "ui/resource_ids.h"
#include "winfw/bitmap_region.h"
#include "winfw/bitmaps.h"

namespace velmora::ui {
namespace {

constexpr const wchar_t* kSplashClass = L"VelmoraSplashClass";
constexpr COLORREF kHoleColour = RGB(255, 0, 255);

// A copy of the default GUI font, so the splash owns (and deletes) what it selects.
HFONT CopyOfGuiFont() {
  LOGFONTW face{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
  return CreateFontIndirectW(&face);
}

}  // namespace

CSplashWindow::CSplashWindow() : font_(CopyOfGuiFont()) {
  // Looked up by name: a system without it shows and hides the splash without fading.
  if (HMODULE user32 = GetModuleHandleW(L"USER32.DLL")) {
    animate_ = reinterpret_cast<AnimateFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "AnimateWindow")));
  }
}

CSplashWindow::~CSplashWindow() {
  if (hwnd() != nullptr) KillTimer(hwnd(), kTimerId);
}

bool CSplashWindow::CreateSplash(HWND parent, const std::wstring& text, UINT timeout_ms,
                                 DWORD style) {
  parent_ = parent;
  text_ = text;
  timeout_ms_ = timeout_ms;
  style_ = style;
  winfw::WindowClassArgs cls;
  cls.name = kSplashClass;
  cls.style = CS_DBLCLKS | CS_SAVEBITS | ((style & kShadow) ? CS_DROPSHADOW : 0);
  cls.background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  if (!winfw::RegisterWindowClass(cls)) {
    cls.style &= ~CS_DROPSHADOW;
    if (!winfw::RegisterWindowClass(cls)) return false;
  }
  winfw::WindowArgs args;
  args.class_name = kSplashClass;
  args.title = L"";
  args.style = WS_POPUP;
  args.ex_style = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  args.x = args.y = args.width = args.height = 0;
  args.parent = parent;
  return Create(args);
}

bool CSplashWindow::LoadSplashPicture() {
  return LoadSplashPicture(winfw::LoadBitmapResource(IDB_SPLASH).Release());
}

bool CSplashWindow::LoadSplashPicture(HBITMAP picture) {
  bitmap_.Reset(picture);
  if (!bitmap_) return false;
  bitmap_size_ = winfw::BitmapSize(bitmap_.get());
  text_rect_ = RECT{0, 0, bitmap_size_.cx, bitmap_size_.cy};
  if (style_ & kCentreOnScreen) {
    position_.x = (GetSystemMetrics(SM_CXFULLSCREEN) - bitmap_size_.cx) / 2;
    position_.y = (GetSystemMetrics(SM_CYFULLSCREEN) - bitmap_size_.cy) / 2;
  } else if ((style_ & kCentreOnParent) && parent_ != nullptr) {
    RECT outer;
    GetWindowRect(parent_, &outer);
    position_.x = outer.left + (outer.right - outer.left - bitmap_size_.cx) / 2;
    position_.y = outer.top + (outer.bottom - outer.top - bitmap_size_.cy) / 2;
  }
  winfw::Region shape = winfw::RegionFromBitmap(bitmap_.get(), kHoleColour);
  // The window owns the region once it is set.
  if (shape && hwnd() != nullptr && SetWindowRgn(hwnd(), shape.get(), TRUE)) shape.Release();
  return true;
}

void CSplashWindow::ShowSplash() {
  if (hwnd() == nullptr) return;
  if (!bitmap_) {
    // Nothing to show: the window goes at once, as if its time were up.
    DestroyWindow(hwnd());
    return;
  }
  SetWindowPos(hwnd(), nullptr, position_.x, position_.y, bitmap_size_.cx, bitmap_size_.cy,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  if ((style_ & kFadeIn) && animate_ != nullptr) {
    animate_(hwnd(), 500, AW_BLEND);
  } else {
    ShowWindow(hwnd(), SW_SHOW);
  }
  if (timeout_ms_ != 0) SetTimer(hwnd(), kTimerId, timeout_ms_, nullptr);
}

bool CSplashWindow::PreTranslateMessage(const MSG& msg) {
  if (!(style_ & kHideOnInput) || hwnd() == nullptr) return false;
  const bool ours = msg.hwnd == hwnd() || IsChild(hwnd(), msg.hwnd);
  switch (msg.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      if (!ours) return false;
      [[fallthrough]];
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      HideSplash();
      DestroyWindow(hwnd());
      return true;
    default:
      return false;
  }
}

void CSplashWindow::Paint(HDC dc) {
  if (bitmap_) {
    winfw::MemoryDc source(dc);
    winfw::SelectObj picture(source.get(), bitmap_.get());
    BitBlt(dc, 0, 0, bitmap_size_.cx, bitmap_size_.cy, source.get(), 0, 0, SRCCOPY);
  }
  winfw::SelectObj font(dc, font_.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, text_colour_);
  RECT box = text_rect_;
  DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &box, text_format_);
}

void CSplashWindow::HideSplash() {
  if ((style_ & kFadeOut) && animate_ != nullptr) {
    animate_(hwnd(), 200, AW_BLEND | AW_HIDE);
  } else {
    ShowWindow(hwnd(), SW_HIDE);
  }
}

LRESULT CSplashWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      winfw::PaintDc dc(hwnd());
      Paint(dc.get());
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_TIMER:
      if (wparam != kTimerId) break;
      KillTimer(hwnd(), kTimerId);
      HideSplash();
      DestroyWindow(hwnd());
      return 0;
    default:
      break;
  }
  return Default(message, wparam, lparam);
}

}  // namespace velmora::ui
