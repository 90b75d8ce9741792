// The estimated-progress bar drawn into a 32-bit DIB: its fill, the XOR-ed text over it, the
// completion estimate against a clock the test sets, and the ranges a run can give it.

#include "feedback/est_progress_ctrl.h"

#include "winfw/gdi.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr std::int64_t kT0 = 1'780'000'000;  // a fixed instant on the test's clock

// The bar's pictures, read back pixel by pixel.
class Surface : public winfw::DibSurface {
 public:
  using DibSurface::DibSurface;
  RECT rect() const { return RECT{0, 0, width(), height()}; }
  std::vector<COLORREF> Pixels() const {
    std::vector<COLORREF> all;
    for (int y = 0; y < height(); ++y)
      for (int x = 0; x < width(); ++x) all.push_back(Pixel(x, y));
    return all;
  }
};

// The time of day of a UTC instant on the local clock, in the user's format: worked out
// through the file-time conversions, a different road from the control's.
std::wstring LocalTimeText(std::int64_t seconds) {
  const ULONGLONG ticks = (static_cast<ULONGLONG>(seconds) + 11'644'473'600ULL) * 10'000'000ULL;
  FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc_st{};
  SYSTEMTIME local{};
  FileTimeToSystemTime(&utc, &utc_st);
  SystemTimeToTzSpecificLocalTime(nullptr, &utc_st, &local);
  wchar_t buffer[128] = {};
  GetTimeFormatW(GetThreadLocale(), 0, &local, nullptr, buffer, 128);
  return buffer;
}

std::wstring Expected(const wchar_t* percent, std::int64_t completion) {
  return std::wstring(percent) + L"% complete. Estimated completion: " + LocalTimeText(completion);
}

class EstProgressCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    parent_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 480, 60, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent_, nullptr);
    ASSERT_TRUE(bar_.Create(parent_, 18, WS_VISIBLE | PBS_SMOOTH, RECT{0, 0, 240, 20}));
    bar_.SetClock([this] { return now_; });
  }
  void TearDown() override {
    if (parent_ != nullptr) DestroyWindow(parent_);
  }

  void SetRange(int upper) { SendMessageW(bar_.hwnd(), PBM_SETRANGE, 0, MAKELPARAM(0, upper)); }
  void SetPos(int position) { SendMessageW(bar_.hwnd(), PBM_SETPOS, position, 0); }
  int Upper() {
    PBRANGE range{};
    SendMessageW(bar_.hwnd(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return range.iHigh;
  }
  void PaintInto(const Surface& surface) { bar_.Paint(surface.dc(), surface.rect()); }

  const COLORREF face_ = GetSysColor(COLOR_BTNFACE);
  const COLORREF highlight_ = GetSysColor(COLOR_HIGHLIGHT);
  HWND parent_ = nullptr;
  CEstProgressCtrl bar_;
  std::int64_t now_ = kT0;
};

TEST_F(EstProgressCtrlTest, EstimateFollowsThePaintsOfARun) {
  struct Step {
    const char* what;
    bool reset;
    std::int64_t now;
    int position;
    std::wstring text;
  };
  const std::vector<Step> steps = {
      {"new run at position 0: no text", true, kT0, 0, L""},
      {"first position above 0 fixes the start: ends now", false, kT0, 1, Expected(L"25.00", kT0)},
      {"2 of 4 after 30 s: 60 s in all", false, kT0 + 30, 2, Expected(L"50.00", kT0 + 60)},
      {"3 of 4 after 60 s: 80 s in all", false, kT0 + 60, 3, Expected(L"75.00", kT0 + 80)},
      {"done after 90 s: ends at this paint", false, kT0 + 90, 4, Expected(L"100.00", kT0 + 90)},
      {"back to 0 without a reset keeps the estimate", false, kT0 + 95, 0,
       Expected(L"0.00", kT0 + 90)},
      {"a reset forgets it", true, kT0 + 96, 0, L""},
      {"the next run starts its own clock", false, kT0 + 100, 3, Expected(L"75.00", kT0 + 100)},
      {"a clock set back starts the measure again", false, kT0 + 40, 2,
       Expected(L"50.00", kT0 + 40)},
  };
  SetRange(4);
  Surface surface(240, 20);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.reset) bar_.ResetEstimate();
    now_ = step.now;
    SetPos(step.position);
    PaintInto(surface);
    EXPECT_EQ(bar_.GetProgressText(), step.text);
  }
}

TEST_F(EstProgressCtrlTest, TextIsXoredOverTheBarAndTheRest) {
  winfw::Font font(CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                               NONANTIALIASED_QUALITY, 0, L"Arial"));
  ASSERT_TRUE(font);
  SendMessageW(bar_.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  SetRange(4);
  SetPos(2);
  Surface surface(240, 20);
  PaintInto(surface);
  const std::wstring text = bar_.GetProgressText();
  ASSERT_EQ(text.rfind(L"50.00% complete. Estimated completion: ", 0), 0u);

  // What the text alone gives on black, in the complement of the highlight.
  Surface ink(240, 20);
  {
    winfw::SelectObj select(ink.dc(), font.get());
    SetBkMode(ink.dc(), TRANSPARENT);
    SetTextColor(ink.dc(), ~highlight_ & 0xFFFFFF);
    RECT r = ink.rect();
    DrawTextW(ink.dc(), text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }

  int white_over_bar = 0;
  int text_over_face = 0;
  for (int y = 0; y < surface.height(); ++y) {
    for (int x = 0; x < surface.width(); ++x) {
      const COLORREF base = x < 120 ? highlight_ : face_;
      const COLORREF want = base ^ ink.Pixel(x, y);
      ASSERT_EQ(surface.Pixel(x, y), want) << "at " << x << "," << y;
      if (ink.Pixel(x, y) == (~highlight_ & 0xFFFFFF)) {
        if (x < 120) {
          EXPECT_EQ(surface.Pixel(x, y), RGB(255, 255, 255));
          ++white_over_bar;
        } else {
          ++text_over_face;
        }
      }
    }
  }
  // The text (wider than the bar) crosses the edge of the fill: both sides have text.
  EXPECT_GT(white_over_bar, 0);
  EXPECT_GT(text_over_face, 0);
  EXPECT_EQ(surface.Pixel(0, 0), highlight_);
  EXPECT_EQ(surface.Pixel(239, 0), face_);
  SendMessageW(bar_.hwnd(), WM_SETFONT, 0, FALSE);
}

TEST_F(EstProgressCtrlTest, FilledWidthIsTruncated) {
  struct Case {
    int upper;
    int position;
    int width;
    int filled;
  };
  const Case cases[] = {
      {4, 2, 200, 100},
      {4, 4, 200, 200},
      {10000, 99, 100, 0},  // 0.99 pixels
      {4, 3, 1, 0},         // a bar one pixel wide
      {1, 1, 1, 1},
      {65535, 49151, 400, 299},  // 16-bit bounds read unsigned: 299.99 pixels
      {65535, 65535, 400, 400},
  };
  // Without a clock there is no estimate and so no text over the fill.
  bar_.SetClock([] { return std::int64_t{-1}; });
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.position << " of " << c.upper << " over " << c.width);
    SetRange(c.upper);
    SetPos(c.position);
    Surface surface(c.width, 4);
    PaintInto(surface);
    EXPECT_EQ(bar_.GetProgressText(), L"");
    if (c.filled > 0) {
      EXPECT_EQ(surface.Pixel(c.filled - 1, 2), highlight_);
    }
    if (c.filled < c.width) {
      EXPECT_EQ(surface.Pixel(c.filled, 2), face_);
    }
  }
}

TEST_F(EstProgressCtrlTest, SixteenBitRangeGivesItsPercentage) {
  SetRange(65535);
  ASSERT_EQ(Upper(), 65535);
  SetPos(49151);
  Surface surface(400, 20);
  PaintInto(surface);
  EXPECT_EQ(bar_.GetProgressText(), Expected(L"75.00", kT0));
}

TEST_F(EstProgressCtrlTest, EmptyRangeDrawsAnEmptyBarWithoutText) {
  SetRange(4);
  SetPos(2);
  Surface surface(240, 20);
  PaintInto(surface);
  ASSERT_NE(bar_.GetProgressText(), L"");

  // An owner with no units to count sets the range 0 to 0, which the bar takes.
  SetRange(0);
  ASSERT_EQ(Upper(), 0);
  SetPos(3);
  now_ += 10;
  PaintInto(surface);
  EXPECT_EQ(bar_.GetProgressText(), L"");
  for (COLORREF pixel : surface.Pixels()) ASSERT_EQ(pixel, face_);

  // A range again: the estimate the bar had is still there.
  SetRange(4);
  SetPos(2);
  PaintInto(surface);
  EXPECT_EQ(bar_.GetProgressText(), Expected(L"50.00", kT0 + 20));
}

TEST_F(EstProgressCtrlTest, WindowMessagesPaintThroughTheControl) {
  ShowWindow(parent_, SW_SHOWNOACTIVATE);
  SetRange(4);
  SetPos(0);
  UpdateWindow(bar_.hwnd());
  EXPECT_EQ(bar_.GetProgressText(), L"");

  // PBM_SETPOS invalidates; the WM_PAINT that follows runs the estimate.
  SetPos(1);
  UpdateWindow(bar_.hwnd());
  EXPECT_EQ(bar_.GetProgressText(), Expected(L"25.00", kT0));

  // WM_PRINTCLIENT draws what Paint draws.
  Surface by_message(240, 20);
  Surface by_call(240, 20);
  SendMessageW(bar_.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(by_message.dc()), PRF_CLIENT);
  PaintInto(by_call);
  EXPECT_EQ(by_message.Pixels(), by_call.Pixels());
  EXPECT_EQ(by_call.Pixel(0, 0), highlight_);
}

TEST_F(EstProgressCtrlTest, ControlOutlivedByItsWindowOrTheOtherWayRound) {
  {
    CEstProgressCtrl short_lived;
    ASSERT_TRUE(short_lived.Create(parent_, 57666, WS_VISIBLE, RECT{0, 30, 240, 43}));
    HWND hwnd = short_lived.hwnd();
    // The object goes first: the window keeps working as a plain progress bar.
    short_lived.Detach();
    EXPECT_EQ(short_lived.hwnd(), nullptr);
    SendMessageW(hwnd, PBM_SETPOS, 1, 0);
    UpdateWindow(hwnd);
    DestroyWindow(hwnd);
  }
  // The window goes first: the control forgets it.
  DestroyWindow(bar_.hwnd());
  EXPECT_EQ(bar_.hwnd(), nullptr);
  Surface surface(10, 4);
  PaintInto(surface);
  EXPECT_EQ(bar_.GetProgressText(), L"");
}

}  // namespace
}  // namespace velmora
