#include "winfw/bitmaps.h"

namespace velmora::winfw {

namespace {

void Premultiply(HBITMAP bitmap) {
  DIBSECTION dib{};
  if (GetObjectW(bitmap, sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 32 ||
      dib.dsBm.bmBits == nullptr) {
    return;
  }
  auto* p = static_cast<BYTE*>(dib.dsBm.bmBits);
  const size_t n = static_cast<size_t>(dib.dsBm.bmWidth) * dib.dsBm.bmHeight;
  for (size_t i = 0; i < n; ++i, p += 4) {
    const unsigned a = p[3];
    p[0] = static_cast<BYTE>(p[0] * a / 255);
    p[1] = static_cast<BYTE>(p[1] * a / 255);
    p[2] = static_cast<BYTE>(p[2] * a / 255);
  }
}

}  // namespace

Bitmap LoadBitmapResource(int id) {
  Bitmap bitmap(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (bitmap && HasAlpha(bitmap.get())) Premultiply(bitmap.get());
  return bitmap;
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof info, &info) == 0) return {0, 0};
  return {info.bmWidth, info.bmHeight};
}

bool HasAlpha(HBITMAP bitmap) {
  BITMAP info{};
  return bitmap != nullptr && GetObjectW(bitmap, sizeof info, &info) != 0 && info.bmBitsPixel == 32;
}

void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height, const RECT* source) {
  if (bitmap == nullptr) return;
  const SIZE size = BitmapSize(bitmap);
  const RECT whole{0, 0, size.cx, size.cy};
  const RECT& s = source != nullptr ? *source : whole;
  MemoryDc memory(dc);
  SelectObj select(memory.get(), bitmap);
  const int sw = s.right - s.left;
  const int sh = s.bottom - s.top;
  if (HasAlpha(bitmap)) {
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, x, y, width, height, memory.get(), s.left, s.top, sw, sh, blend);
  } else {
    TransparentBlt(dc, x, y, width, height, memory.get(), s.left, s.top, sw, sh, kKeyColour);
  }
}

void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y) {
  const SIZE size = BitmapSize(bitmap);
  DrawBitmap(dc, bitmap, x, y, size.cx, size.cy);
}

}  // namespace velmora::winfw
