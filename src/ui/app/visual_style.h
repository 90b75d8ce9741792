// The looks the frame can wear (commands 210 to 218) as the colours of its bars: 215 light
// blue, 216 black, 217 silver, 218 aqua, and 210 to 214 plainer looks close to the system's.
#pragma once

#include <windows.h>

namespace velmora::ui {

inline constexpr unsigned kLookFirst = 210;
inline constexpr unsigned kLookLast = 218;
inline constexpr unsigned kLookDefault = 215;

struct LookColours {
  COLORREF bar_top;      // toolbar gradient, top
  COLORREF bar_bottom;   // toolbar gradient, bottom
  COLORREF menu_back;    // the menu bar
  COLORREF status_back;  // the status bar
  COLORREF text;         // text on the bars
  COLORREF edge;         // the line under the toolbar
  COLORREF hot;          // a button under the pointer
};

// The colours of a look; any id outside 210 to 218 wears 215's.
LookColours ColoursOf(unsigned look);

// Fills `rect` with a vertical gradient from `top` to `bottom`.
void FillVerticalGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);

}  // namespace velmora::ui
