// The base of every window class of ours: one window procedure (the trampoline) finds the
// object through GWLP_USERDATA and calls its one HandleMessage, whose switch dispatches to
// the On... handlers. No exception leaves a window procedure.
#pragma once

#include <windows.h>

namespace velmora::winfw {

struct WindowClassArgs {
  const wchar_t* name = nullptr;
  UINT style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  HBRUSH background = nullptr;
  HICON icon = nullptr;
  HICON small_icon = nullptr;
  HCURSOR cursor = nullptr;  // the arrow when null
};

struct WindowArgs {
  const wchar_t* class_name = nullptr;
  const wchar_t* title = L"";
  DWORD style = WS_OVERLAPPEDWINDOW;
  DWORD ex_style = 0;
  int x = CW_USEDEFAULT;
  int y = CW_USEDEFAULT;
  int width = CW_USEDEFAULT;
  int height = CW_USEDEFAULT;
  HWND parent = nullptr;
  HMENU menu = nullptr;  // a top-level window's menu, or a child's control id
};

// Registers a class whose procedure is the trampoline; registering a name twice is fine.
bool RegisterWindowClass(const WindowClassArgs& args);

// Moves `window` so that it is centred on `owner` (on the work area of the nearest monitor
// when there is no visible owner), kept wholly inside that monitor's work area.
void CentreOnOwner(HWND window, HWND owner);

class Window {
 public:
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window();

  bool Create(const WindowArgs& args);
  HWND hwnd() const { return hwnd_; }

 protected:
  // The one message switch of a window class; what it does not handle goes to Default.
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  friend LRESULT CALLBACK WindowTrampoline(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
};

LRESULT CALLBACK WindowTrampoline(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace velmora::winfw
