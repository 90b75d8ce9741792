#include "ui/app/visual_style.h"

namespace velmora::ui {

LookColours ColoursOf(unsigned look) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF text = GetSysColor(COLOR_BTNTEXT);
  switch (look) {
    case 210:  // the plain system look
      return {face, face, face, face, text, GetSysColor(COLOR_BTNSHADOW), RGB(210, 220, 235)};
    case 211:  // flat, light
      return {RGB(249, 248, 247), RGB(236, 233, 228), RGB(249, 248, 247), RGB(236, 233, 228), text,
              RGB(191, 187, 180), RGB(193, 210, 238)};
    case 212:  // the system's themed look
      return {RGB(250, 250, 250), RGB(226, 228, 232), RGB(245, 246, 248), RGB(233, 235, 238), text,
              RGB(180, 184, 190), RGB(204, 228, 247)};
    case 213:  // blue-grey bands
      return {RGB(221, 236, 254), RGB(129, 169, 226), RGB(195, 218, 249), RGB(190, 213, 245), text,
              RGB(59, 97, 156),   RGB(255, 238, 194)};
    case 214:  // warm grey
      return {RGB(252, 252, 249), RGB(229, 229, 215), RGB(241, 240, 234), RGB(229, 229, 215), text,
              RGB(172, 168, 153), RGB(193, 210, 238)};
    case 216:  // black
      return {RGB(83, 83, 83),    RGB(30, 30, 30), RGB(59, 59, 59),   RGB(45, 45, 45),
              RGB(240, 240, 240), RGB(12, 12, 12), RGB(255, 214, 120)};
    case 217:  // silver
      return {RGB(248, 249, 251), RGB(201, 206, 214), RGB(232, 234, 238), RGB(214, 218, 225), text,
              RGB(145, 150, 160), RGB(255, 231, 162)};
    case 218:  // aqua
      return {RGB(237, 244, 250), RGB(167, 200, 228), RGB(219, 232, 244), RGB(196, 219, 238), text,
              RGB(102, 143, 182), RGB(255, 231, 162)};
    default:  // 215 and anything unknown: light blue
      return {RGB(227, 239, 255), RGB(175, 210, 255), RGB(214, 232, 255), RGB(191, 219, 255),
              RGB(21, 66, 139),   RGB(101, 147, 207), RGB(255, 231, 162)};
  }
}

void FillVerticalGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom) {
  TRIVERTEX v[2] = {};
  v[0].x = rect.left;
  v[0].y = rect.top;
  v[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
  v[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
  v[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
  v[1].x = rect.right;
  v[1].y = rect.bottom;
  v[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
  v[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
  v[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
  GRADIENT_RECT r{0, 1};
  GradientFill(dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V);
}

}  // namespace velmora::ui
