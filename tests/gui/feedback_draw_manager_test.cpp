// Background effects, borders, lines and images drawn into memory surfaces, checked by pixel.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "feedback/draw_manager.h"
#include "winfw/gdi.h"

namespace velmora {
namespace {

using winfw::DibSurface;

constexpr COLORREF kBack = RGB(1, 2, 3);
constexpr COLORREF kEdgeYellow = 0x51ECFD;
constexpr COLORREF kMiddleYellow = 0xA9F3FE;

int Diff(COLORREF a, COLORREF b) {
  return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                   std::abs(GetBValue(a) - GetBValue(b))});
}

TEST(FeedbackDrawManagerTest, VerticalBumpOfTheMessageBox) {
  DibSurface s(300, 20);
  CDrawManager dm;
  dm.FillEffect(RECT{0, 0, 300, 20}, s.dc(), kEffectVBump, kEdgeYellow, kMiddleYellow, kEdgeYellow,
                0);
  const CPaletteDib& dib = dm.palette_dib();
  EXPECT_EQ(dib.Entry(0), kEdgeYellow);
  EXPECT_EQ(dib.Entry(128), kMiddleYellow);
  struct Case {
    int column;
    int entry;
  };
  for (const Case c : {Case{0, 0}, Case{1, 253}, Case{299, 3}}) {
    SCOPED_TRACE(c.column);
    EXPECT_EQ(s.Pixel(c.column, 0), dib.Entry(c.entry));
  }
  EXPECT_LE(Diff(s.Pixel(1, 0), RGB(253, 236, 81)), 3);
  EXPECT_LE(Diff(s.Pixel(299, 0), RGB(253, 236, 81)), 3);
  for (int x = 100; x < 200; ++x) {
    EXPECT_LE(Diff(s.Pixel(x, 0), RGB(254, 243, 169)), 4) << x;
  }
  // Steep near the edges, flat in the middle.
  EXPECT_GT(Diff(s.Pixel(10, 0), s.Pixel(30, 0)), Diff(s.Pixel(140, 0), s.Pixel(160, 0)));
  for (int y = 1; y < 20; ++y) {
    for (int x = 0; x < 300; ++x) ASSERT_EQ(s.Pixel(x, y), s.Pixel(x, 0)) << x << "," << y;
  }
}

TEST(FeedbackDrawManagerTest, GradientsNarrowerThanTheirBands) {
  struct Case {
    int effect;
    int width;
    int height;
    int x, y;  // pixel checked
    COLORREF expected;
  };
  const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255);
  const Case cases[] = {
      {kEffectHGradient, 10, 4, 9, 0, RGB(251, 251, 251)},  // band 63 ends the span
      {kEffectHGradient, 10, 4, 0, 0, RGB(23, 23, 23)},     // bands 0..5 are empty
      {kEffectVGradient, 4, 10, 0, 9, RGB(251, 251, 251)},
      {kEffectHCGradient, 20, 2, 9, 0, RGB(251, 251, 251)},   // left half ends at the end colour
      {kEffectHCGradient, 20, 2, 19, 0, RGB(3, 3, 3)},        // right half back to the begin
      {kEffect3HGradient, 64, 2, 31, 0, RGB(246, 246, 246)},  // band 63 of begin -> middle
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.effect);
    DibSurface s(c.width, c.height);
    s.Fill(kBack);
    CDrawManager dm;
    dm.FillEffect(RECT{0, 0, c.width, c.height}, s.dc(), c.effect, black, RGB(250, 250, 250), white,
                  0);
    EXPECT_EQ(s.Pixel(c.x, c.y), c.expected);
  }
}

TEST(FeedbackDrawManagerTest, UnknownAndTransparentEffectsAndEmptyRectangles) {
  struct Case {
    int effect;
    RECT rect;
    COLORREF centre;
  };
  const Case cases[] = {
      {99, {0, 0, 8, 8}, RGB(9, 8, 7)},          {kEffectSolid, {0, 0, 8, 8}, RGB(9, 8, 7)},
      {kEffectTransparent, {0, 0, 8, 8}, kBack}, {kEffectVBump, {4, 4, 4, 9}, kBack},  // zero width
      {kEffectHGradient, {6, 6, 2, 2}, kBack},  // negative size
      {kEffectNoise, {5, 5, 5, 5}, kBack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.effect);
    DibSurface s(8, 8);
    s.Fill(kBack);
    CDrawManager dm;
    dm.FillEffect(c.rect, s.dc(), c.effect, RGB(9, 8, 7), RGB(100, 100, 100), RGB(50, 50, 50), 5);
    EXPECT_EQ(s.Pixel(4, 4), c.centre);
  }
}

TEST(FeedbackDrawManagerTest, TexturedEffectsOverAHugeRectangleCostOnlyTheVisiblePart) {
  for (int effect = kEffectNoise; effect <= kEffectMetal; ++effect) {
    SCOPED_TRACE(effect);
    DibSurface s(40, 30);
    s.Fill(kBack);
    CDrawManager dm;
    dm.FillEffect(RECT{-50000000, -50000000, 50000000, 50000000}, s.dc(), effect, RGB(255, 0, 0),
                  RGB(0, 255, 0), RGB(0, 0, 255), 5);
    EXPECT_LE(dm.palette_dib().width(), 40);
    EXPECT_LE(dm.palette_dib().height(), 30);
    dm.FillEffect(RECT{0, 0, 40, 30}, s.dc(), effect, RGB(255, 0, 0), RGB(0, 255, 0),
                  RGB(0, 0, 255), 5);
    EXPECT_NE(s.Pixel(20, 15), kBack);
  }
}

TEST(FeedbackDrawManagerTest, TexturedPaletteRunsFromEndOverMiddleToBegin) {
  DibSurface s(16, 16);
  CDrawManager dm;
  dm.FillEffect(RECT{0, 0, 16, 16}, s.dc(), kEffectHShade, RGB(255, 0, 0), RGB(0, 255, 0),
                RGB(0, 0, 255), 0);
  const CPaletteDib& dib = dm.palette_dib();
  EXPECT_EQ(dib.Entry(0), RGB(0, 0, 255));
  EXPECT_EQ(dib.Entry(64), RGB(0, 127, 127));
  EXPECT_EQ(dib.Entry(128), RGB(0, 255, 0));
  EXPECT_EQ(dib.Entry(255), RGB(253, 1, 0));
  // hshade: the begin colour at the top, the end colour at the bottom
  EXPECT_GT(GetRValue(s.Pixel(8, 0)), 200);
  EXPECT_GT(GetBValue(s.Pixel(8, 15)), 200);
}

TEST(FeedbackDrawManagerTest, Borders) {
  const COLORREF light = RGB(255, 255, 255), dark = RGB(0, 0, 0);
  struct Probe {
    int x, y;
    COLORREF colour;
  };
  struct Case {
    int style;
    int width;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {kBorderSolid, 0, {{0, 0, kBack}, {9, 9, kBack}}},
      {kBorderNone, 3, {{0, 0, kBack}}},
      {kBorderSolid, 1, {{0, 5, light}, {5, 0, light}, {9, 5, dark}, {5, 9, dark}, {1, 1, kBack}}},
      {kBorderDouble,
       1,
       {{0, 5, light},
        {1, 5, kBack},
        {2, 5, light},
        {5, 2, light},
        {9, 5, dark},
        {8, 5, kBack},
        {7, 5, dark},
        {5, 7, dark},
        {4, 4, kBack}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style * 100 + c.width);
    DibSurface s(10, 10);
    s.Fill(kBack);
    CDrawManager dm;
    dm.DrawBorder(RECT{0, 0, 10, 10}, s.dc(), light, dark, c.style, c.width);
    for (const Probe& p : c.probes) EXPECT_EQ(s.Pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
  }
}

TEST(FeedbackDrawManagerTest, Lines) {
  DibSurface s(12, 12);
  s.Fill(kBack);
  CDrawManager dm;
  dm.DrawLine(1, POINT{0, 2}, POINT{12, 2}, s.dc(), RGB(255, 0, 0), kBorderDouble);
  dm.DrawLine(1, POINT{8, 6}, POINT{8, 12}, s.dc(), RGB(0, 255, 0), kBorderDouble);
  dm.DrawLine(0, POINT{0, 11}, POINT{12, 11}, s.dc(), RGB(0, 0, 255), kBorderSolid);
  EXPECT_EQ(s.Pixel(5, 2), RGB(255, 0, 0));
  EXPECT_EQ(s.Pixel(5, 3), kBack);
  EXPECT_EQ(s.Pixel(5, 4), RGB(255, 0, 0));
  EXPECT_EQ(s.Pixel(8, 8), RGB(0, 255, 0));
  EXPECT_EQ(s.Pixel(10, 8), RGB(0, 255, 0));
  EXPECT_EQ(s.Pixel(5, 11), kBack);
}

// A 4x4 32-bit bitmap: left half red, right half the transparent magenta, alpha bytes as given.
winfw::Bitmap MakeBitmap(BYTE alpha, int width = 4, int height = 4) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  winfw::Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  auto* p = static_cast<DWORD*>(bits);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const DWORD rgb = (x % 4) < 2 ? 0xFF0000 : 0xFF00FF;  // 0x00RRGGBB
      p[y * width + x] = (static_cast<DWORD>(alpha) << 24) | rgb;
    }
  }
  return bitmap;
}

TEST(FeedbackDrawManagerTest, ImagesWithEffectsMaskAndAlpha) {
  const COLORREF white = RGB(255, 255, 255);
  struct Case {
    BYTE alpha;
    unsigned style;
    bool mask;
    COLORREF left;   // pixel (1,1) of the drawn image
    COLORREF right;  // pixel (3,1)
    bool had_alpha;
  };
  const Case cases[] = {
      {0, 0, true, RGB(255, 0, 0), white, false},
      {0, 0, false, RGB(255, 0, 0), RGB(255, 0, 255), false},
      {0, kImageGrey, true, RGB(76, 76, 76), white, false},
      {0, kImageDarker, true, RGB(191, 0, 0), white, false},
      {0, kImageDisabled, true, RGB(128, 128, 128), white, false},
      {0, kImageInvert, true, RGB(0, 255, 255), white, false},
      {128, 0, false, RGB(255, 127, 127), RGB(255, 127, 255), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style + c.alpha);
    DibSurface s(8, 8);
    s.Fill(white);
    winfw::Bitmap bitmap = MakeBitmap(c.alpha);
    CDrawManager dm;
    ImageDrawParams params;
    params.style = c.style;
    params.use_mask = c.mask;
    ASSERT_TRUE(dm.DrawBitmap(s.dc(), 0, 0, 4, 4, bitmap.get(), params));
    EXPECT_EQ(dm.last_image_had_alpha(), c.had_alpha);
    EXPECT_LE(Diff(s.Pixel(1, 1), c.left), 1);
    EXPECT_LE(Diff(s.Pixel(3, 1), c.right), 1);
    EXPECT_EQ(s.Pixel(5, 5), white);
  }
}

TEST(FeedbackDrawManagerTest, ShadowsDarkenBesideTheImage) {
  const COLORREF white = RGB(255, 255, 255);
  for (unsigned kind : {unsigned{kImageShadow}, unsigned{kImageSoftShadow}}) {
    SCOPED_TRACE(kind);
    DibSurface s(40, 40);
    s.Fill(white);
    winfw::Bitmap bitmap = MakeBitmap(0, 20, 20);
    CDrawManager dm;
    ImageDrawParams params;
    params.style = kind;
    ASSERT_TRUE(dm.DrawBitmap(s.dc(), 5, 5, 20, 20, bitmap.get(), params));
    const COLORREF under = s.Pixel(5 + 20 + 2, 5 + 12);  // right of the image, inside the offset
    EXPECT_LT(GetRValue(under), 255);
    EXPECT_GE(GetRValue(under), 128);
    EXPECT_EQ(s.Pixel(2, 2), white);  // before the image nothing changes
    if (kind == kImageShadow) {
      EXPECT_EQ(under, RGB(128, 128, 128));
    }
  }
}

TEST(FeedbackDrawManagerTest, StripFramesAndIcons) {
  winfw::Bitmap strip = MakeBitmap(0, 8, 4);  // two 4x4 frames side by side
  struct Case {
    int frame_cx, frame_cy, index;
    bool drawn;
  };
  const Case cases[] = {{4, 4, 0, true},  {4, 4, 1, true},  {4, 4, 2, false}, {4, 4, -1, false},
                        {0, 4, 0, false}, {9, 4, 0, false}, {4, -4, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index * 100 + c.frame_cx);
    DibSurface s(8, 8);
    s.Fill(kBack);
    CDrawManager dm;
    EXPECT_EQ(dm.DrawStripFrame(s.dc(), 0, 0, 0, 0, strip.get(), c.frame_cx, c.frame_cy, c.index,
                                ImageDrawParams{}),
              c.drawn);
    if (!c.drawn) {
      EXPECT_EQ(s.Pixel(1, 1), kBack);
    }
  }

  DibSurface s(64, 64);
  s.Fill(kBack);
  CDrawManager dm;
  HICON icon = LoadIconW(nullptr, IDI_ASTERISK);
  ASSERT_TRUE(dm.DrawIcon(s.dc(), 0, 0, 32, 32, icon, ImageDrawParams{}));
  int changed = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) changed += s.Pixel(x, y) != kBack;
  EXPECT_GT(changed, 100);
  EXPECT_EQ(s.Pixel(40, 40), kBack);
}

}  // namespace
}  // namespace velmora
