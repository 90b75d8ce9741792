// CPromptEdit: the destination field. While the user has put nothing into it, it shows a grey
// prompt instead of being empty, and reading it then gives the empty text.
#pragma once

#include <windows.h>

#include <string>

#include "winfw/gdi.h"
#include "winfw/subclassed_window.h"

namespace velmora::ui {

class CPromptEdit : public winfw::SubclassedWindow {
 public:
  // Takes over an existing edit control (the prompt is put in at once).
  bool Attach(HWND edit);
  void ChangePrompt(const std::wstring& text);
  void ApplyText(const std::wstring& text);
  void SetPromptColour(COLORREF colour) { prompt_colour_ = colour; }
  bool prompt_showing() const { return prompt_showing_; }
  const std::wstring& prompt() const { return prompt_; }
  // The destination: the empty text while the prompt shows, else the window text.
  std::wstring Text() const;

  LRESULT OnReflected(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void EndPromptAndEmpty();

  bool prompt_showing_ = true;
  std::wstring prompt_ = L"<Enter text here>";
  COLORREF prompt_colour_ = RGB(119, 121, 118);
  winfw::Brush background_;
};

}  // namespace velmora::ui
