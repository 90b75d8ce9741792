#include "winfw/dialog.h"

namespace velmora::winfw {

Dialog::~Dialog() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    DestroyWindow(hwnd_);
  }
}

INT_PTR Dialog::DoModal(const std::vector<uint8_t>& dialog_template, HWND owner) {
  ended_ = false;
  result_ = 0;
  // The owner is the top-level window, as the system's modal dialogs take it.
  if (owner != nullptr) owner = GetAncestor(owner, GA_ROOT);
  HWND dialog = CreateDialogIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialog_template.data()),
      owner, DialogTrampoline, reinterpret_cast<LPARAM>(this));
  if (dialog == nullptr) return -1;
  const bool owner_was_enabled = owner != nullptr && IsWindowEnabled(owner);
  if (owner_was_enabled) EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOW);

  MSG msg;
  bool quit = false;
  while (!ended_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {  // WM_QUIT: end the dialog and hand the quit on to the outer loop
      quit = true;
      break;
    }
    if (got == -1) break;
    if (PreTranslateMessage(msg)) continue;
    if (IsDialogMessageW(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The owner comes back before the dialog goes, so that activation returns to it.
  if (owner_was_enabled) EnableWindow(owner, TRUE);
  if (hwnd_ != nullptr) {
    HWND gone = hwnd_;
    DestroyWindow(gone);
  }
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
  return result_;
}

INT_PTR Dialog::HandleMessage(UINT, WPARAM, LPARAM) {
  return FALSE;
}

bool Dialog::PreTranslateMessage(MSG&) {
  return false;
}

void Dialog::EndDialog(INT_PTR result) {
  result_ = result;
  ended_ = true;
  // Wake the modal loop if the end came from outside a message of its own.
  PostMessageW(hwnd_, WM_NULL, 0, 0);
}

INT_PTR CALLBACK DialogTrampoline(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lparam);
    if (self != nullptr) {
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }
  } else {
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  INT_PTR result = FALSE;
  try {
    result = self->HandleMessage(message, wparam, lparam);
  } catch (...) {
    result = FALSE;  // out of memory in a handler: the message counts as not handled
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

}  // namespace velmora::winfw
