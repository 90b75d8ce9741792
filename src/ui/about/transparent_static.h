// CTarvikTransparentStatic: a label that draws only its text, so the parent's background
// (the About box's picture) shows around and behind the letters. When its text changes it
// has the parent repaint the area under it first, or the old letters would stay.
#pragma once

#include <windows.h>

#include "winfw/subclassed_window.h"

namespace velmora::ui {

class CTarvikTransparentStatic : public winfw::SubclassedWindow {
 public:
  // Draws the text as WM_PAINT does; `dc` is the label's own client coordinates.
  void Paint(HDC dc, const RECT& client);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
};

}  // namespace velmora::ui
