#include "winfw/window.h"

namespace velmora::winfw {

bool RegisterWindowClass(const WindowClassArgs& args) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, args.name, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = args.style;
  wc.lpfnWndProc = WindowTrampoline;
  wc.hInstance = instance;
  wc.hIcon = args.icon;
  wc.hIconSm = args.small_icon;
  wc.hCursor = args.cursor != nullptr ? args.cursor : LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = args.background;
  wc.lpszClassName = args.name;
  return RegisterClassExW(&wc) != 0;
}

Window::~Window() {
  if (hwnd_ != nullptr) {
    // The derived part is gone: the last messages must not reach it.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
}

bool Window::Create(const WindowArgs& args) {
  CreateWindowExW(args.ex_style, args.class_name, args.title, args.style, args.x, args.y,
                  args.width, args.height, args.parent, args.menu, GetModuleHandleW(nullptr), this);
  return hwnd_ != nullptr;
}

LRESULT Window::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return Default(message, wparam, lparam);
}

LRESULT Window::Default(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK WindowTrampoline(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    if (self != nullptr) {
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  } else {
    self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);

  LRESULT result = 0;
  try {
    result = self->HandleMessage(message, wparam, lparam);
  } catch (...) {
    // Out of memory inside a handler: the message counts as not handled; creation fails.
    result = message == WM_CREATE ? -1 : (message == WM_NCCREATE ? FALSE : 0);
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

void CentreOnOwner(HWND window, HWND owner) {
  RECT self{};
  if (window == nullptr || !GetWindowRect(window, &self)) return;
  const bool has_owner = owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(has_owner ? owner : window, MONITOR_DEFAULTTONEAREST),
                       &monitor)) {
    return;
  }
  const RECT work = monitor.rcWork;
  RECT around = work;
  if (has_owner) GetWindowRect(owner, &around);
  const int width = self.right - self.left;
  const int height = self.bottom - self.top;
  int x = (around.left + around.right - width) / 2;
  int y = (around.top + around.bottom - height) / 2;
  if (x + width > work.right) x = work.right - width;
  if (y + height > work.bottom) y = work.bottom - height;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace velmora::winfw
