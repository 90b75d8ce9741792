#include "winfw/controls.h"

#include <commctrl.h>

#include <vector>

namespace velmora::winfw {

HWND CreateControl(const ControlArgs& args) {
  const RECT& r = args.rect;
  HWND hwnd = CreateWindowExW(
      args.ex_style, args.class_name, args.text.c_str(), WS_CHILD | args.style, r.left, r.top,
      r.right - r.left, r.bottom - r.top, args.parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)), GetModuleHandleW(nullptr), nullptr);
  if (hwnd != nullptr && args.font != nullptr) {
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(args.font), FALSE);
  }
  return hwnd;
}

bool LoadRichEdit20() {
  static HMODULE module = LoadLibraryW(L"riched20.dll");
  return module != nullptr;
}

std::wstring WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1);
  const int got = GetWindowTextW(hwnd, buffer.data(), n + 1);
  return std::wstring(buffer.data(), got > 0 ? got : 0);
}

RECT ChildRect(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

HFONT MessageFont() {
  static HFONT font = [] {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
      return CreateFontIndirectW(&metrics.lfMessageFont);
    }
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }();
  return font;
}

Tooltips::~Tooltips() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool Tooltips::Create(HWND parent) {
  hwnd_ = CreateWindowExW(WS_EX_TOPMOST, kTooltipClass, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, GetModuleHandleW(nullptr),
                          nullptr);
  return hwnd_ != nullptr;
}

void Tooltips::Add(HWND control, const std::wstring& text) {
  if (hwnd_ == nullptr || control == nullptr) return;
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = GetParent(control);
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(hwnd_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace velmora::winfw
