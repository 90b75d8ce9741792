// A system control (list view, edit, static, progress bar) whose messages pass through one
// HandleMessage of ours first: the same one-switch shape as Window, for windows whose class
// the system owns.
#pragma once

#include <windows.h>

namespace velmora::winfw {

class SubclassedWindow {
 public:
  SubclassedWindow() = default;
  SubclassedWindow(const SubclassedWindow&) = delete;
  SubclassedWindow& operator=(const SubclassedWindow&) = delete;
  virtual ~SubclassedWindow() { Detach(); }

  bool Attach(HWND hwnd);
  void Detach();
  HWND hwnd() const { return hwnd_; }

  // Messages the parent passes back to the control that sent them (WM_NOTIFY, WM_CTLCOLOR*);
  // `handled` false leaves the parent's own answer.
  virtual LRESULT OnReflected(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
    (void)message, (void)wparam, (void)lparam;
    handled = false;
    return 0;
  }

 protected:
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    return Default(message, wparam, lparam);
  }
  LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                               DWORD_PTR data);
  HWND hwnd_ = nullptr;
};

}  // namespace velmora::winfw
