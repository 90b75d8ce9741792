#include "feedback/link_label.h"

#include <commctrl.h>

#include "feedback/link_target.h"

namespace velmora {

namespace {

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

void SetToolText(HWND tooltip, HWND owner, const std::wstring& text) {
  if (tooltip == nullptr) return;
  TOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.hwnd = owner;
  info.uId = 1;
  info.lpszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace

CLinkLabel::~CLinkLabel() {
  Detach();
}

bool CLinkLabel::Attach(HWND control) {
  if (control == nullptr || window_ != nullptr) return false;
  window_ = control;
  parent_ = GetParent(control);
  SetWindowLongPtrW(control, GWL_STYLE, GetWindowLongPtrW(control, GWL_STYLE) | SS_NOTIFY);
  const std::wstring text = WindowText(control);
  if (target_.empty()) target_ = text;
  if (text.empty()) SetWindowTextW(control, target_.c_str());

  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
  LOGFONTW lf{};
  GetObjectW(font, sizeof(lf), &lf);
  standard_font_.Reset(CreateFontIndirectW(&lf));
  lf.lfUnderline = TRUE;
  underlined_font_.Reset(CreateFontIndirectW(&lf));

  SetWindowSubclass(control, ControlProc, 1, reinterpret_cast<DWORD_PTR>(this));
  if (parent_ != nullptr) {
    SetWindowSubclass(parent_, ParentProc, reinterpret_cast<UINT_PTR>(this),
                      reinterpret_cast<DWORD_PTR>(this));
  }
  FitToText();
  cursor_ = LoadLinkCursor(&cursor_owned_);
  if (underline_mode_ != -1) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(standard_font_.get()), TRUE);
    underline_mode_ = -1;
  }
  tooltip_ =
      CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, control, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (tooltip_ != nullptr) {
    TOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = control;
    info.uId = 1;
    info.lpszText = const_cast<wchar_t*>(target_.c_str());
    GetClientRect(control, &info.rect);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
  return true;
}

void CLinkLabel::Detach() {
  if (window_ == nullptr) return;
  KillTimer(window_, kTimerId);
  RemoveWindowSubclass(window_, ControlProc, 1);
  if (parent_ != nullptr)
    RemoveWindowSubclass(parent_, ParentProc, reinterpret_cast<UINT_PTR>(this));
  if (IsWindow(window_)) {
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
  }
  if (tooltip_ != nullptr) DestroyWindow(tooltip_);
  if (cursor_owned_ && cursor_ != nullptr) DestroyCursor(cursor_);
  tooltip_ = nullptr;
  cursor_ = nullptr;
  window_ = parent_ = nullptr;
}

void CLinkLabel::SetLinkTarget(const std::wstring& target) {
  target_ = target;
  if (window_ != nullptr) {
    FitToText();
    SetToolText(tooltip_, window_, target_);
  }
}

void CLinkLabel::SetUnderlineMode(int mode) {
  if (mode == 1 && underline_mode_ != 1 && window_ != nullptr) {
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(underlined_font_.get()), TRUE);
  } else if (mode != 1 && underline_mode_ == 1 && window_ != nullptr) {
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(standard_font_.get()), TRUE);
  }
  underline_mode_ = mode;
}

COLORREF CLinkLabel::TextColour() const {
  if (over_) return hover_colour;
  return visited_ ? visited_colour : link_colour;
}

void CLinkLabel::FitToText() {
  if (!fit_to_text_ || window_ == nullptr || parent_ == nullptr) return;
  const std::wstring text = WindowText(window_);
  SIZE size{};
  {
    winfw::WindowDc dc(window_);
    winfw::SelectObj font(dc.get(), underlined_font_.get());
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  }
  RECT window{}, client{};
  GetWindowRect(window_, &window);
  GetClientRect(window_, &client);
  MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&window), 2);
  const int width = size.cx + (window.right - window.left) - client.right;
  const int height = size.cy + (window.bottom - window.top) - client.bottom;
  const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
  RECT fitted = window;
  if (style & SS_CENTERIMAGE) {
    const int dy = (window.bottom - window.top) - height;
    fitted.top = window.top + dy / 2;
  }
  fitted.bottom = fitted.top + height;
  const LONG_PTR align = style & SS_TYPEMASK;
  if (align == SS_CENTER) {
    fitted.left = window.left + ((window.right - window.left) - width) / 2;
  } else if (align == SS_RIGHT) {
    fitted.left = window.right - width;
  }
  fitted.right = fitted.left + width;
  SetWindowPos(window_, nullptr, fitted.left, fitted.top, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void CLinkLabel::OnMouseMove() {
  if (over_) return;
  over_ = true;
  if (underline_mode_ == -1) {
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(underlined_font_.get()), FALSE);
  }
  InvalidateRect(window_, nullptr, TRUE);
  SetTimer(window_, kTimerId, 200, nullptr);
}

void CLinkLabel::OnTimer() {
  const DWORD pos = GetMessagePos();
  POINT p{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
  ScreenToClient(window_, &p);
  RECT client{};
  GetClientRect(window_, &client);
  if (!PtInRect(&client, p)) {
    over_ = false;
    KillTimer(window_, kTimerId);
    if (underline_mode_ != 1) {
      SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(standard_font_.get()), FALSE);
    }
    client.bottom += 10;
    InvalidateRect(window_, &client, TRUE);
  }
  // The control is transparent: its parent's background under it is drawn again too.
  if (parent_ != nullptr) InvalidateRect(parent_, nullptr, TRUE);
}

void CLinkLabel::OnClick() {
  over_ = false;
  const int result = OpenLinkTarget(target_);
  visited_ = result > 32;
  if (!visited_) {
    MessageBeep(MB_ICONEXCLAMATION);
    ReportOpenError(result, parent_);
  } else {
    InvalidateRect(window_, nullptr, TRUE);
  }
}

LRESULT CALLBACK CLinkLabel::ControlProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR,
                                         DWORD_PTR data) {
  auto* self = reinterpret_cast<CLinkLabel*>(data);
  try {
    if (self->tooltip_ != nullptr && message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) {
      MSG msg{hwnd, message, wp, lp, static_cast<DWORD>(GetMessageTime()), {}};
      SendMessageW(self->tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }
    switch (message) {
      case WM_SETCURSOR:
        if (self->cursor_ != nullptr) {
          SetCursor(self->cursor_);
          return TRUE;
        }
        break;
      case WM_MOUSEMOVE:
        self->OnMouseMove();
        break;
      case WM_TIMER:
        if (wp == kTimerId) {
          self->OnTimer();
          return 0;
        }
        break;
      case WM_DESTROY:
        KillTimer(hwnd, kTimerId);
        break;
      default:
        break;
    }
  } catch (...) {
  }
  return DefSubclassProc(hwnd, message, wp, lp);
}

LRESULT CALLBACK CLinkLabel::ParentProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR,
                                        DWORD_PTR data) {
  auto* self = reinterpret_cast<CLinkLabel*>(data);
  try {
    if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == self->window_) {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, self->TextColour());
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    if (message == WM_COMMAND && reinterpret_cast<HWND>(lp) == self->window_ &&
        HIWORD(wp) == STN_CLICKED) {
      self->OnClick();
      return 0;
    }
  } catch (...) {
  }
  return DefSubclassProc(hwnd, message, wp, lp);
}

}  // namespace velmora
