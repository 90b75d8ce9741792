#include "winfw/bitmap_region.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using velmora::winfw::Bitmap;
using velmora::winfw::Region;
using velmora::winfw::RegionFromBitmap;

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// A bitmap drawn from rows of characters: 'm' magenta, anything else a colour near magenta
// (one step off in each channel) so only the exact colour makes a hole.
Bitmap BitmapOf(const std::vector<std::string>& rows) {
  const int width = static_cast<int>(rows[0].size());
  const int height = static_cast<int>(rows.size());
  HDC screen = GetDC(nullptr);
  Bitmap bitmap(CreateCompatibleBitmap(screen, width, height));
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, bitmap.get());
  const COLORREF near_magenta[] = {RGB(254, 0, 255), RGB(255, 1, 255), RGB(255, 0, 254)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      SetPixel(dc, x, y, rows[y][x] == 'm' ? kMagenta : near_magenta[(x + y) % 3]);
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

TEST(BitmapRegion, ExactlyTheMagentaPixelsAreHoles) {
  const std::vector<std::string> rows = {
      "mm..mm",
      "m....m",
      "......",
      "m.mm.m",
  };
  Bitmap bitmap = BitmapOf(rows);
  Region region = RegionFromBitmap(bitmap.get(), kMagenta);
  ASSERT_TRUE(region);
  for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
    for (int x = 0; x < static_cast<int>(rows[y].size()); ++x) {
      EXPECT_EQ(PtInRegion(region.get(), x, y) != 0, rows[y][x] != 'm') << x << "," << y;
    }
  }
  EXPECT_FALSE(PtInRegion(region.get(), 6, 2));  // nothing outside the picture
}

TEST(BitmapRegion, AllMagentaGivesAnEmptyRegionAndNoBitmapNone) {
  Bitmap bitmap = BitmapOf({"mmm", "mmm"});
  Region region = RegionFromBitmap(bitmap.get(), kMagenta);
  ASSERT_TRUE(region);
  RECT box;
  EXPECT_EQ(GetRgnBox(region.get(), &box), NULLREGION);
  EXPECT_FALSE(RegionFromBitmap(nullptr, kMagenta));
}

// More runs than one batch of rectangles holds: a checkerboard of 100 x 100.
TEST(BitmapRegion, ManyRunsAreAllKept) {
  std::vector<std::string> rows(100, std::string(100, '.'));
  for (int y = 0; y < 100; ++y) {
    for (int x = (y % 2); x < 100; x += 2) rows[y][x] = 'm';
  }
  Bitmap bitmap = BitmapOf(rows);
  Region region = RegionFromBitmap(bitmap.get(), kMagenta);
  ASSERT_TRUE(region);
  for (int y = 0; y < 100; y += 7) {
    for (int x = 0; x < 100; x += 3) {
      EXPECT_EQ(PtInRegion(region.get(), x, y) != 0, rows[y][x] != 'm') << x << "," << y;
    }
  }
}

}  // namespace
