#pragma once
// A static text control turned into a link: link colours (another while the mouse is over
// it and after a successful visit), a hand cursor, a tooltip with the target, and a click
// that opens the target through the shell.

#include <windows.h>

#include <string>

#include "winfw/gdi.h"

namespace velmora {

class CLinkLabel {
 public:
  CLinkLabel() = default;
  CLinkLabel(const CLinkLabel&) = delete;
  CLinkLabel& operator=(const CLinkLabel&) = delete;
  ~CLinkLabel();

  // Takes over a static control (and listens to its parent for the colour and click
  // notifications the control sends there).
  bool Attach(HWND control);
  void Detach();

  void SetLinkTarget(const std::wstring& target);
  // 0 never underlined, 1 always, -1 while the mouse is over it.
  void SetUnderlineMode(int mode);
  void SetFitToText(bool fit) { fit_to_text_ = fit; }
  void FitToText();

  const std::wstring& target() const { return target_; }
  bool visited() const { return visited_; }
  bool over() const { return over_; }
  COLORREF TextColour() const;
  HWND window() const { return window_; }
  HWND tooltip() const { return tooltip_; }

  COLORREF link_colour = 0xEE0000;     // RGB(0, 0, 238)
  COLORREF visited_colour = 0x8B1A55;  // RGB(85, 26, 139)
  COLORREF hover_colour = 0x0000FF;    // RGB(255, 0, 0)

 private:
  static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR id,
                                      DWORD_PTR data);
  static LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR data);
  void OnMouseMove();
  void OnTimer();
  void OnClick();

  HWND window_ = nullptr;
  HWND parent_ = nullptr;
  HWND tooltip_ = nullptr;
  bool over_ = false;
  bool visited_ = false;
  int underline_mode_ = -1;
  bool fit_to_text_ = true;
  std::wstring target_;
  winfw::Font underlined_font_;
  winfw::Font standard_font_;
  HCURSOR cursor_ = nullptr;
  bool cursor_owned_ = false;
  static constexpr UINT_PTR kTimerId = 100;
};

}  // namespace velmora
