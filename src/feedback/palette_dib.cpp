#include "feedback/palette_dib.h"

#include <cstring>
#include <new>

namespace velmora {

namespace {
constexpr size_t kPaletteBytes = 256 * sizeof(RGBQUAD);
}

bool CPaletteDib::Resize(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  if (width == width_ && height == height_) return true;
  const int stride = ((width * 8 + 31) / 32) * 4;
  try {
    pixels_.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    if (info_.empty()) info_.assign(sizeof(BITMAPINFOHEADER) + kPaletteBytes, 0);
  } catch (const std::bad_alloc&) {
    pixels_.clear();
    width_ = height_ = stride_ = 0;
    return false;
  }
  width_ = width;
  height_ = height;
  stride_ = stride;
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info_.data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = width;
  header->biHeight = height;  // positive: bottom-up rows
  header->biPlanes = 1;
  header->biBitCount = 8;
  header->biCompression = BI_RGB;
  header->biClrUsed = 256;
  return true;
}

void CPaletteDib::SetEntry(int i, COLORREF colour) {
  if (info_.empty()) info_.assign(sizeof(BITMAPINFOHEADER) + kPaletteBytes, 0);
  auto* entry = reinterpret_cast<RGBQUAD*>(info_.data() + sizeof(BITMAPINFOHEADER)) + (i & 0xFF);
  entry->rgbBlue = GetBValue(colour);
  entry->rgbGreen = GetGValue(colour);
  entry->rgbRed = GetRValue(colour);
  entry->rgbReserved = 0;
}

COLORREF CPaletteDib::Entry(int i) const {
  if (info_.empty()) return 0;
  const auto* entry =
      reinterpret_cast<const RGBQUAD*>(info_.data() + sizeof(BITMAPINFOHEADER)) + (i & 0xFF);
  return RGB(entry->rgbRed, entry->rgbGreen, entry->rgbBlue);
}

void CPaletteDib::Draw(HDC target, int x, int y) {
  if (width_ <= 0 || height_ <= 0 || target == nullptr) return;
  auto* info = reinterpret_cast<BITMAPINFO*>(info_.data());
  // The section is made anew when the size changes; the palette goes in with every draw.
  if (!section_ || section_width_ != width_ || section_height_ != height_) {
    section_bits_ = nullptr;
    section_.Reset(CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &section_bits_, nullptr, 0));
    section_width_ = width_;
    section_height_ = height_;
  }
  if (!section_ || section_bits_ == nullptr) return;
  GdiFlush();
  std::memcpy(section_bits_, pixels_.data(), pixels_.size());
  winfw::MemoryDc dc(target);
  if (!dc) return;
  winfw::SelectObj select(dc.get(), section_.get());
  SetDIBColorTable(dc.get(), 0, 256,
                   reinterpret_cast<const RGBQUAD*>(info_.data() + sizeof(BITMAPINFOHEADER)));
  BitBlt(target, x, y, width_, height_, dc.get(), 0, 0, SRCCOPY);
}

}  // namespace velmora
