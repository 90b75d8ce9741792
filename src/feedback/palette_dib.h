#pragma once
// An 8-bit device-independent bitmap with its own 256-entry palette: the textured
// background fills write one palette index per pixel and let the palette carry the colours.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "winfw/gdi.h"

namespace velmora {

class CPaletteDib {
 public:
  // Sizes the pixel buffer (kept when the size is unchanged). False when the size is not
  // positive or the buffer cannot be had.
  bool Resize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  // Row r counted from the bottom, as the bitmap stores its rows.
  uint8_t* Row(int r) { return pixels_.data() + static_cast<size_t>(r) * stride_; }
  // Entry i gets the colour 0x00BBGGRR (stored blue, green, red, 0).
  void SetEntry(int i, COLORREF colour);
  COLORREF Entry(int i) const;
  // Copies the pixels to the target with their top left corner at (x, y).
  void Draw(HDC target, int x, int y);

 private:
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  std::vector<uint8_t> info_;    // BITMAPINFOHEADER followed by the 256 palette entries
  std::vector<uint8_t> pixels_;  // rows bottom-up, each padded to a multiple of 4 bytes
  winfw::Bitmap section_;
  int section_width_ = 0;
  int section_height_ = 0;
  void* section_bits_ = nullptr;
};

}  // namespace velmora
