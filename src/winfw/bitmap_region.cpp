#include "winfw/bitmap_region.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velmora::winfw {
namespace {

// ExtCreateRegion is handed the rectangles in batches: some systems refuse very long lists.
constexpr size_t kRectsPerBatch = 2000;

Region RegionOfRects(const std::vector<RECT>& rects, size_t begin, size_t end) {
  std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + (end - begin) * sizeof(RECT));
  auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
  header->dwSize = sizeof(RGNDATAHEADER);
  header->iType = RDH_RECTANGLES;
  header->nCount = static_cast<DWORD>(end - begin);
  header->nRgnSize = static_cast<DWORD>((end - begin) * sizeof(RECT));
  SetRect(&header->rcBound, 0, 0, 0, 0);
  auto* out = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
  for (size_t i = begin; i < end; ++i) {
    out[i - begin] = rects[i];
    UnionRect(&header->rcBound, &header->rcBound, &rects[i]);
  }
  return Region(ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()),
                                reinterpret_cast<const RGNDATA*>(data.data())));
}

}  // namespace

Region RegionFromBitmap(HBITMAP bitmap, COLORREF transparent) {
  BITMAP info{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0 || info.bmWidth <= 0 ||
      info.bmHeight <= 0) {
    return Region();
  }
  const int width = info.bmWidth;
  const int height = info.bmHeight;
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = width;
  request.bmiHeader.biHeight = -height;  // top-down rows
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  MemoryDc dc;
  if (GetDIBits(dc.get(), bitmap, 0, height, pixels.data(), &request, DIB_RGB_COLORS) == 0) {
    return Region();
  }
  // Pixels read back as 0x00RRGGBB; COLORREF is 0x00BBGGRR.
  const uint32_t hole =
      (GetRValue(transparent) << 16) | (GetGValue(transparent) << 8) | GetBValue(transparent);
  std::vector<RECT> rects;
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = pixels.data() + static_cast<size_t>(y) * width;
    int x = 0;
    while (x < width) {
      while (x < width && (row[x] & 0xFFFFFF) == hole) ++x;
      const int start = x;
      while (x < width && (row[x] & 0xFFFFFF) != hole) ++x;
      if (x > start) rects.push_back(RECT{start, y, x, y + 1});
    }
  }
  Region region(CreateRectRgn(0, 0, 0, 0));
  for (size_t begin = 0; begin < rects.size(); begin += kRectsPerBatch) {
    const size_t end = std::min(rects.size(), begin + kRectsPerBatch);
    Region part = RegionOfRects(rects, begin, end);
    if (!part) return Region();
    CombineRgn(region.get(), region.get(), part.get(), RGN_OR);
  }
  return region;
}

}  // namespace velmora::winfw
