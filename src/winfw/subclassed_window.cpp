#include "winfw/subclassed_window.h"

#include <commctrl.h>

namespace velmora::winfw {

namespace {
constexpr UINT_PTR kSubclassId = 0x56454C;
}

bool SubclassedWindow::Attach(HWND hwnd) {
  Detach();
  if (hwnd == nullptr ||
      !SetWindowSubclass(hwnd, Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    return false;
  }
  hwnd_ = hwnd;
  return true;
}

void SubclassedWindow::Detach() {
  if (hwnd_ != nullptr) {
    RemoveWindowSubclass(hwnd_, Proc, kSubclassId);
    hwnd_ = nullptr;
  }
}

LRESULT SubclassedWindow::Default(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefSubclassProc(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK SubclassedWindow::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<SubclassedWindow*>(data);
  LRESULT result = 0;
  try {
    result = self->HandleMessage(message, wparam, lparam);
  } catch (...) {
    result = 0;
  }
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, Proc, kSubclassId);
    self->hwnd_ = nullptr;
  }
  return result;
}

}  // namespace velmora::winfw
