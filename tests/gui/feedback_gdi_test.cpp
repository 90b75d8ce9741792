// The GDI owners: each frees its handle once and a selection puts the old object back.
#include <gtest/gtest.h>
#include <windows.h>

#include "winfw/gdi.h"

namespace velmora::winfw {
namespace {

TEST(FeedbackGdiTest, ObjectOwnerDeletesOnceAndMovesOwnership) {
  HBRUSH raw = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(raw, nullptr);
  {
    Brush a(raw);
    Brush b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), raw);
    EXPECT_NE(GetObjectType(raw), 0u);
  }
  EXPECT_EQ(GetObjectType(raw), 0u);  // deleted by the owner that held it last

  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  Pen owner(pen);
  EXPECT_EQ(owner.Release(), pen);
  EXPECT_FALSE(owner);
  EXPECT_NE(GetObjectType(pen), 0u);  // released, so still alive
  DeleteObject(pen);
}

TEST(FeedbackGdiTest, SelectionIsRestoredAndDcsFreed) {
  MemoryDc dc;
  ASSERT_TRUE(dc);
  HGDIOBJ before = GetCurrentObject(dc.get(), OBJ_BRUSH);
  Brush brush(CreateSolidBrush(RGB(9, 9, 9)));
  {
    SelectObj select(dc.get(), brush.get());
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), brush.get());
  }
  EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), before);

  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  {
    WindowDc wdc(window);
    EXPECT_NE(wdc.get(), nullptr);
    EXPECT_EQ(wdc.window(), window);
  }
  DestroyWindow(window);
}

TEST(FeedbackGdiTest, DibSurfaceReadsBackWhatGdiDrew) {
  DibSurface surface(8, 4);
  ASSERT_NE(surface.bits(), nullptr);
  surface.Fill(RGB(10, 20, 30));
  SetPixel(surface.dc(), 7, 3, RGB(200, 100, 50));
  EXPECT_EQ(surface.Pixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(surface.Pixel(7, 3), RGB(200, 100, 50));
}

}  // namespace
}  // namespace velmora::winfw
