// The view's push buttons: real BUTTON windows (their text and id are what a user and an
// automation tool see) drawn by us with a picture left of the text and a highlight while
// the pointer is over them.
#pragma once

#include <windows.h>

#include <string>

#include "winfw/gdi.h"
#include "winfw/subclassed_window.h"

namespace velmora::ui {

class ImageButton : public winfw::SubclassedWindow {
 public:
  // Creates the button (owner-drawn) as a child of `parent`.
  bool Create(HWND parent, int id, const std::wstring& text, HFONT font, int image_id);
  // Draws the button for the parent's WM_DRAWITEM.
  void Draw(const DRAWITEMSTRUCT& item) const;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  winfw::Bitmap image_;
  bool hot_ = false;
};

}  // namespace velmora::ui
