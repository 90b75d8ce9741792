// The base of our dialogs: made from an in-memory template (dialog_template.h), one dialog
// procedure (the trampoline) that finds the object through the WM_INITDIALOG parameter and
// DWLP_USER, and one HandleMessage switch. DoModal runs its own modal loop, so that a dialog
// can look at each message before the dialog manager does (PreTranslateMessage), as a dialog
// that must ignore Enter and Escape needs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace velmora::winfw {

class Dialog {
 public:
  Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;
  virtual ~Dialog();

  // Shows the dialog modally over `owner` (disabled meanwhile) and returns the result given
  // to EndDialog, or -1 when the template is refused.
  INT_PTR DoModal(const std::vector<uint8_t>& dialog_template, HWND owner);
  HWND hwnd() const { return hwnd_; }

 protected:
  // Return TRUE for a message handled, as a dialog procedure does; the default is FALSE.
  virtual INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // Sees every message of the modal loop first; true swallows it. May change it.
  virtual bool PreTranslateMessage(MSG& msg);
  void EndDialog(INT_PTR result);

 private:
  friend INT_PTR CALLBACK DialogTrampoline(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
  bool ended_ = false;
  INT_PTR result_ = 0;
};

INT_PTR CALLBACK DialogTrampoline(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace velmora::winfw
