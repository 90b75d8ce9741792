// Bitmaps from the program's resources, drawn with their transparency: a 32-bit bitmap by its
// alpha channel (premultiplied when loaded, as AlphaBlend wants it), a 24-bit one with
// magenta (255, 0, 255) as the see-through colour.
#pragma once

#include <windows.h>

#include "winfw/gdi.h"

namespace velmora::winfw {

inline constexpr COLORREF kKeyColour = RGB(255, 0, 255);

// A DIB section of the bitmap resource `id` of the program; empty when there is none.
Bitmap LoadBitmapResource(int id);

SIZE BitmapSize(HBITMAP bitmap);
bool HasAlpha(HBITMAP bitmap);

// Draws the bitmap (or its part `source`) at (x, y), `width` x `height` (scaled when they
// differ from the source), honouring its transparency.
void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height,
                const RECT* source = nullptr);
// Draws it at its own size.
void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y);

}  // namespace velmora::winfw
