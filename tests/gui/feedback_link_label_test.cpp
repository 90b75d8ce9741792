// The link label over a static control of a plain parent window.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "feedback/link_label.h"
#include "feedback/link_target.h"
#include "feedback/message_box.h"
#include "winfw/gdi.h"

namespace velmora {
namespace {

class FeedbackLinkLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 200, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    SetLinkOpenerForTest(nullptr);
    SetMessageBoxHookForTest({});
    DestroyWindow(parent_);
  }
  HWND Static(const wchar_t* text, DWORD style, int x, int width) {
    return CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, x, 20, width, 20,
                           parent_, reinterpret_cast<HMENU>(7), nullptr, nullptr);
  }
  static void Click(HWND control) {
    SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(7, STN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
  }
  HWND parent_ = nullptr;
};

TEST_F(FeedbackLinkLabelTest, OpenErrorTexts) {
  struct Case {
    int code;
    std::wstring reason;
  };
  const Case cases[] = {
      {31, L"There is no application associated\nwith the given filename extension."},
      {2, L"The specified file was not found."},
      {26, L"A sharing violation occurred. "},
      {0, L"The operating system is out\nof memory or resources."},
      {7, L"Unknown Error (7) occurred."},
      {-5, L"Unknown Error (-5) occurred."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OpenErrorText(c.code), L"Unable to open hyperlink:\n\n" + c.reason);
}

std::wstring g_target;
std::wstring g_box;

TEST_F(FeedbackLinkLabelTest, FailedOpenReportsTheReasonAndStaysUnvisited) {
  HWND control = Static(L"https://example.invalid/", 0, 10, 100);
  CLinkLabel label;
  ASSERT_TRUE(label.Attach(control));
  EXPECT_EQ(label.target(), L"https://example.invalid/");  // its own text when none was set
  EXPECT_TRUE(GetWindowLongPtrW(control, GWL_STYLE) & SS_NOTIFY);
  SetLinkOpenerForTest([](const std::wstring& target) {
    g_target = target;
    return 31;
  });
  SetMessageBoxHookForTest([](const MessageBoxParams& p) {
    g_box = p.text.text;
    EXPECT_EQ(p.flags & 0xF0, 0x30u);
    return IDOK;
  });
  Click(control);
  EXPECT_EQ(g_target, L"https://example.invalid/");
  EXPECT_EQ(g_box,
            L"Unable to open hyperlink:\n\nThere is no application associated\nwith the given "
            L"filename extension.");
  EXPECT_FALSE(label.visited());
  EXPECT_EQ(label.TextColour(), RGB(0, 0, 238));

  SetLinkOpenerForTest([](const std::wstring&) { return 33; });
  Click(control);
  EXPECT_TRUE(label.visited());
  EXPECT_EQ(label.TextColour(), RGB(85, 26, 139));
}

TEST_F(FeedbackLinkLabelTest, ColoursAndHover) {
  HWND control = Static(L"\u2588\u2588\u2588\u2588", 0, 10, 100);
  CLinkLabel label;
  ASSERT_TRUE(label.Attach(control));
  label.SetLinkTarget(L"mailto:someone@example.invalid");
  auto count = [&](COLORREF colour) {
    RECT client{};
    GetClientRect(control, &client);
    winfw::DibSurface shot(client.right, client.bottom);
    shot.Fill(RGB(255, 255, 255));
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(shot.dc()), PRF_CLIENT);
    int n = 0;
    for (int y = 0; y < client.bottom; ++y)
      for (int x = 0; x < client.right; ++x) n += shot.Pixel(x, y) == colour;
    return n;
  };
  EXPECT_GT(count(RGB(0, 0, 238)), 20);
  SendMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_TRUE(label.over());
  EXPECT_GT(count(RGB(255, 0, 0)), 20);
  EXPECT_EQ(SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control), HTCLIENT), TRUE);
}

TEST_F(FeedbackLinkLabelTest, FittingKeepsTheAlignedEdge) {
  struct Case {
    DWORD style;
    int kept;  // 0 left edge, 1 centre, 2 right edge
  };
  for (const Case c : {Case{SS_LEFT, 0}, Case{SS_CENTER, 1}, Case{SS_RIGHT, 2}}) {
    HWND control = Static(L"ab", c.style, 100, 200);
    CLinkLabel label;
    ASSERT_TRUE(label.Attach(control));
    auto rect = [&] {
      RECT r{};
      GetWindowRect(control, &r);
      MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&r), 2);
      return r;
    };
    const RECT before = rect();
    SetWindowTextW(control, L"a much longer text than before");
    label.FitToText();
    const RECT after = rect();
    EXPECT_GT(after.right - after.left, before.right - before.left);
    if (c.kept == 0) {
      EXPECT_EQ(after.left, 100);
    }
    if (c.kept == 1) {
      EXPECT_LE(std::abs((after.left + after.right) - 2 * 200), 1);
    }
    if (c.kept == 2) {
      EXPECT_EQ(after.right, 300);
    }
    label.Detach();
    DestroyWindow(control);
  }
}

}  // namespace
}  // namespace velmora
