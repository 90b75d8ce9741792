#pragma once
// Pixel-level drawing for the message box and the mark-up renderer: numbered background
// effects (gradients and shaded textures), borders and lines with pen styles, and images
// drawn with colour effects, a transparent colour, per-pixel alpha and a drop shadow.

#include <windows.h>

#include <string_view>

#include "feedback/palette_dib.h"

namespace velmora {

enum FillEffectNumber : int {
  kEffectTransparent = -1,
  kEffectSolid = 0,
  kEffectHGradient = 1,
  kEffectVGradient = 2,
  kEffectHCGradient = 3,
  kEffectVCGradient = 4,
  kEffect3HGradient = 5,
  kEffect3VGradient = 6,
  kEffectNoise = 7,
  kEffectDiagShade = 8,
  kEffectHShade = 9,
  kEffectVShade = 10,
  kEffectHBump = 11,
  kEffectVBump = 12,
  kEffectSoftBump = 13,
  kEffectHardBump = 14,
  kEffectMetal = 15,
};

// The effect named "transparent", "solid", "hgradient" ... "metal"; -2 for any other name.
int EffectFromName(std::wstring_view name);

// Border and line styles.
enum BorderStyle : int {
  kBorderNone = 0,
  kBorderSolid = 1,
  kBorderDashed = 2,
  kBorderDotted = 3,
  kBorderDashDot = 4,
  kBorderDashDotDot = 5,
  kBorderDouble = 6,
};

// Style flags of the image drawing.
enum ImageStyle : unsigned {
  kImageGrey = 0x1,
  kImageDarker = 0x2,
  kImageLighter = 0x4,
  kImageDisabled = 0x8,
  kImageShadow = 0x100,
  kImageSoftShadow = 0x200,
  kImageInvert = 0x8000,
};

struct ImageDrawParams {
  unsigned style = 0;
  bool use_mask = false;  // pixels of mask_colour are left out
  COLORREF mask_colour = RGB(255, 0, 255);
  COLORREF disabled_colour = RGB(128, 128, 128);
  int shadow_x = 4;
  int shadow_y = 4;
  int blur_x = 7;
  int blur_y = 7;
  COLORREF shadow_colour = RGB(128, 128, 128);
};

class CDrawManager {
 public:
  // Fills the rectangle with a background effect; colours are 0x00BBGGRR. Granularity 0
  // draws the textured effects without noise.
  void FillEffect(const RECT& rect, HDC dc, int effect, COLORREF begin, COLORREF middle,
                  COLORREF end, int granularity);
  void DrawBorder(const RECT& rect, HDC dc, COLORREF light, COLORREF dark, int style, int width);
  void DrawLine(int width, POINT from, POINT to, HDC dc, COLORREF colour, int style);

  // Draws a bitmap stretched to cx x cy at (x, y). False when nothing was drawn.
  bool DrawBitmap(HDC dc, int x, int y, int cx, int cy, HBITMAP bitmap,
                  const ImageDrawParams& params);
  // Draws an icon at cx x cy (its own size, twice its hotspot, when cx or cy is 0).
  bool DrawIcon(HDC dc, int x, int y, int cx, int cy, HICON icon, const ImageDrawParams& params);
  // Frame `index` of a strip of frames frame_cx x frame_cy, numbered row by row.
  bool DrawStripFrame(HDC dc, int x, int y, int cx, int cy, HBITMAP strip, int frame_cx,
                      int frame_cy, int index, const ImageDrawParams& params);

  // Whether the last image drawn had an alpha channel.
  bool last_image_had_alpha() const { return last_alpha_; }
  const CPaletteDib& palette_dib() const { return dib_; }

 private:
  void Gradient(HDC dc, const RECT& rect, bool horizontal, COLORREF from, COLORREF to, int start,
                int length);
  void Texture(HDC dc, const RECT& rect, int effect, COLORREF begin, COLORREF middle, COLORREF end,
               int granularity);

  CPaletteDib dib_;
  bool last_alpha_ = false;
};

}  // namespace velmora
