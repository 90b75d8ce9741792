#include "ui/view/prompt_edit.h"

#include "winfw/controls.h"

namespace velmora::ui {

bool CPromptEdit::Attach(HWND edit) {
  if (!SubclassedWindow::Attach(edit)) return false;
  background_.Reset(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
  ApplyText(prompt_);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  return true;
}

void CPromptEdit::ChangePrompt(const std::wstring& text) {
  prompt_ = text;
  if (prompt_.empty()) prompt_showing_ = false;
  if (prompt_showing_) ApplyText(prompt_);
}

void CPromptEdit::ApplyText(const std::wstring& text) {
  if (prompt_showing_ && text.empty()) return;
  if (text != prompt_) prompt_showing_ = false;
  if (hwnd() != nullptr) SetWindowTextW(hwnd(), text.c_str());
}

std::wstring CPromptEdit::Text() const {
  if (prompt_showing_ || hwnd() == nullptr) return std::wstring();
  return winfw::WindowText(hwnd());
}

void CPromptEdit::EndPromptAndEmpty() {
  prompt_showing_ = false;
  // Straight to the control: our own WM_SETTEXT rule would ignore the empty text.
  Default(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  InvalidateRect(hwnd(), nullptr, TRUE);
}

LRESULT CPromptEdit::OnReflected(UINT message, WPARAM wparam, LPARAM, bool& handled) {
  if (message != WM_CTLCOLOREDIT && message != WM_CTLCOLORSTATIC) {
    handled = false;
    return 0;
  }
  handled = true;
  const HDC dc = reinterpret_cast<HDC>(wparam);
  if (prompt_showing_) SetTextColor(dc, prompt_colour_);
  // A disabled field keeps the system's grey text; its background stays the window colour.
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return reinterpret_cast<LRESULT>(background_.get());
}

LRESULT CPromptEdit::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SETFOCUS: {
      const LRESULT result = Default(message, wparam, lparam);
      if (prompt_showing_) {
        const auto end = static_cast<WPARAM>(prompt_.size());
        Default(EM_SETSEL, end, static_cast<LPARAM>(end));
        Default(EM_SCROLLCARET, 0, 0);
      }
      return result;
    }
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
      if (prompt_showing_) EndPromptAndEmpty();
      return Default(message, wparam, lparam);
    case WM_SETTEXT: {
      const auto* text = reinterpret_cast<const wchar_t*>(lparam);
      if (text == nullptr || (prompt_showing_ && *text == L'\0')) return TRUE;
      if (prompt_ != text) prompt_showing_ = false;
      return Default(message, wparam, lparam);
    }
    case WM_GETTEXT:
      if (prompt_showing_) {
        if (wparam > 0 && lparam != 0) *reinterpret_cast<wchar_t*>(lparam) = L'\0';
        return 0;
      }
      return Default(message, wparam, lparam);
    case WM_GETTEXTLENGTH:
      if (prompt_showing_) return 0;
      return Default(message, wparam, lparam);
    default:
      return Default(message, wparam, lparam);
  }
}

}  // namespace velmora::ui
