// The About box and the splash screen, as real windows under the test's own message pump.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "feedback/link_target.h"
#include "support/gui_harness.h"
#include "ui/about/about_dlg.h"
#include "ui/about/splash_window.h"
#include "ui/about/transparent_static.h"
#include "winfw/gdi.h"
#include "winfw/window.h"

namespace {

using velmora::ui::CAboutDlg;
using velmora::ui::CSplashWindow;
using velmora::ui::CTarvikTransparentStatic;

// Pumps messages until `done` holds or `ms` pass; true when it held.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 5000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

// Steps a test runs from inside a modal loop: a thread timer fires them one by one.
std::vector<std::function<void()>>* g_steps = nullptr;
size_t g_next_step = 0;
void CALLBACK RunNextStep(HWND, UINT, UINT_PTR id, DWORD) {
  if (g_steps == nullptr || g_next_step >= g_steps->size()) {
    KillTimer(nullptr, id);
    return;
  }
  (*g_steps)[g_next_step++]();
}

TEST(AboutBox, ShowsItsTextsIgnoresEnterAndEscapeAndClosesOnOk) {
  HWND box = nullptr;
  bool open_after_keys = false;
  std::vector<std::function<void()>> steps = {
      [&] { box = FindWindowW(L"#32770", velmora::ui::kAboutCaption); },
      [&] {
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(TextOf(GetDlgItem(box, velmora::ui::kAboutNameLabel)), L"Velmora v1.0");
        EXPECT_EQ(TextOf(GetDlgItem(box, velmora::ui::kAboutMakerLabel)), L"Velmora Software");
        EXPECT_EQ(TextOf(GetDlgItem(box, IDOK)), L"OK");
        HWND ok = GetDlgItem(box, IDOK);
        SetFocus(ok);
        PostMessageW(ok, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
      },
      [&] { open_after_keys = IsWindow(box) && IsWindowVisible(box); },
      [&] { SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); },
  };
  g_steps = &steps;
  g_next_step = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, RunNextStep);
  CAboutDlg about;
  const INT_PTR result = about.DoModal(nullptr);
  KillTimer(nullptr, timer);
  g_steps = nullptr;
  EXPECT_TRUE(open_after_keys);
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(IsWindow(box));
}

TEST(AboutBox, TheCloseButtonClosesIt) {
  std::vector<std::function<void()>> steps = {[&] {
    HWND box = FindWindowW(L"#32770", velmora::ui::kAboutCaption);
    ASSERT_NE(box, nullptr);
    PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  }};
  g_steps = &steps;
  g_next_step = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, RunNextStep);
  CAboutDlg about;
  EXPECT_EQ(about.DoModal(nullptr), IDCANCEL);
  KillTimer(nullptr, timer);
  g_steps = nullptr;
}

// The box opens centred on the window that asked for it, wherever that window is, and stays
// on the work area when that window hangs over the screen's edge.
TEST(AboutBox, OpensCentredOnItsOwnerInsideTheWorkArea) {
  struct Case {
    RECT owner;
    bool centred;
  };
  const Case cases[] = {
      {{300, 200, 1100, 800}, true},
      {{-600, -400, 200, 300}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.owner.left);
    HWND owner =
        CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, c.owner.left, c.owner.top,
                        c.owner.right - c.owner.left, c.owner.bottom - c.owner.top, nullptr,
                        nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    RECT box_rect{}, work{};
    std::vector<std::function<void()>> steps = {[&] {
      HWND box = FindWindowW(L"#32770", velmora::ui::kAboutCaption);
      ASSERT_NE(box, nullptr);
      GetWindowRect(box, &box_rect);
      MONITORINFO monitor{};
      monitor.cbSize = sizeof monitor;
      GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
      work = monitor.rcWork;
      SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    }};
    g_steps = &steps;
    g_next_step = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, RunNextStep);
    CAboutDlg about;
    about.DoModal(owner);
    KillTimer(nullptr, timer);
    g_steps = nullptr;
    DestroyWindow(owner);
    if (c.centred) {
      EXPECT_NEAR((box_rect.left + box_rect.right) / 2, (c.owner.left + c.owner.right) / 2, 1);
      EXPECT_NEAR((box_rect.top + box_rect.bottom) / 2, (c.owner.top + c.owner.bottom) / 2, 1);
    }
    EXPECT_GE(box_rect.left, work.left);
    EXPECT_GE(box_rect.top, work.top);
    EXPECT_LE(box_rect.right, work.right);
    EXPECT_LE(box_rect.bottom, work.bottom);
  }
}

// The colour a static control's parent gives its text.
COLORREF TextColourFor(HWND box, HWND control) {
  velmora::winfw::WindowDc screen(nullptr);
  velmora::winfw::MemoryDc dc(screen.get());
  SetTextColor(dc.get(), RGB(1, 2, 3));
  SendMessageW(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
               reinterpret_cast<LPARAM>(control));
  return GetTextColor(dc.get());
}

std::vector<std::wstring> g_opened;

// The links stay the statics 1000 to 1002 with their texts, so that a tool reading the box
// finds them; they look like links (link blue, underlined), show the hand over them, and a
// click opens their target (through the opener tests put in place of the shell) and turns
// them the visited colour.
TEST(AboutBox, ItsLinksAreLinks) {
  struct Link {
    int id;
    std::wstring text;
    std::wstring target;
  };
  const Link links[] = {
      {velmora::ui::kAboutSiteLink, L"www.velmora.example", L"https://www.velmora.example/"},
      {velmora::ui::kAboutSupportLink, L"support@velmora.example",
       L"mailto:support@velmora.example"},
      {velmora::ui::kAboutSalesLink, L"sales@velmora.example", L"mailto:sales@velmora.example"},
  };
  g_opened.clear();
  velmora::SetLinkOpenerForTest([](const std::wstring& target) {
    g_opened.push_back(target);
    return 42;  // opened
  });
  HWND box = nullptr;
  std::vector<std::function<void()>> steps = {
      [&] { box = FindWindowW(L"#32770", velmora::ui::kAboutCaption); },
      [&] {
        ASSERT_NE(box, nullptr);
        for (const Link& link : links) {
          SCOPED_TRACE(link.id);
          HWND control = GetDlgItem(box, link.id);
          ASSERT_NE(control, nullptr);
          wchar_t cls[32] = {};
          GetClassNameW(control, cls, 32);
          EXPECT_STREQ(cls, L"Static");
          EXPECT_EQ(TextOf(control), link.text);
          EXPECT_EQ(TextColourFor(box, control), RGB(0, 0, 238));
          LOGFONTW face{};
          GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof face,
                     &face);
          EXPECT_TRUE(face.lfUnderline);
          SetCursor(LoadCursorW(nullptr, IDC_ARROW));
          SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
          EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
          // A click as the mouse makes it: the static tells its parent, the link opens.
          SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
          SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
          EXPECT_EQ(TextColourFor(box, control), RGB(85, 26, 139));
        }
      },
      [&] { SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); },
  };
  g_steps = &steps;
  g_next_step = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, RunNextStep);
  CAboutDlg about;
  EXPECT_EQ(about.DoModal(nullptr), IDOK);
  KillTimer(nullptr, timer);
  g_steps = nullptr;
  velmora::SetLinkOpenerForTest(nullptr);
  const std::vector<std::wstring> expected = {links[0].target, links[1].target, links[2].target};
  EXPECT_EQ(g_opened, expected);
}

// A 40 x 20 picture whose left 10 columns are magenta.
HBITMAP SplashPicture() {
  velmora::winfw::WindowDc screen(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen.get(), 40, 20);
  velmora::winfw::MemoryDc dc(screen.get());
  velmora::winfw::SelectObj select(dc.get(), bitmap);
  RECT all{0, 0, 40, 20}, hole{0, 0, 10, 20};
  velmora::winfw::Brush blue(CreateSolidBrush(RGB(30, 90, 200)));
  velmora::winfw::Brush magenta(CreateSolidBrush(RGB(255, 0, 255)));
  FillRect(dc.get(), &all, blue.get());
  FillRect(dc.get(), &hole, magenta.get());
  return bitmap;
}

TEST(Splash, AppearsTopMostWithMagentaHolesAndGoesOnItsTimer) {
  auto splash = std::make_unique<CSplashWindow>();
  ASSERT_TRUE(splash->CreateSplash(nullptr, L"", 300, 15));
  HWND window = splash->hwnd();
  ASSERT_TRUE(splash->LoadSplashPicture(SplashPicture()));
  splash->ShowSplash();
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  EXPECT_STREQ(cls, L"VelmoraSplashClass");
  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 40);
  EXPECT_EQ(outer.bottom - outer.top, 20);
  velmora::winfw::Region shape(CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(GetWindowRgn(window, shape.get()), ERROR);
  EXPECT_FALSE(PtInRegion(shape.get(), 5, 10));
  EXPECT_TRUE(PtInRegion(shape.get(), 25, 10));
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }));
}

// The program's frame shows its splash as the frame itself first shows, over it (on a Wine
// virtual desktop a top-most window shown before its owner ended up under it), and the
// splash goes on its timer.
TEST(Splash, ComesOverTheFrameAsTheFrameShows) {
  velmora::ui::test::GuiHarness h(true);
  HWND splash = FindWindowW(L"VelmoraSplashClass", nullptr);
  ASSERT_NE(splash, nullptr);
  EXPECT_TRUE(IsWindowVisible(splash));
  EXPECT_NE(GetWindowLongPtrW(splash, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  bool over = false;
  for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == splash) {
      over = true;
      break;
    }
    if (w == h.frame().hwnd()) break;
  }
  EXPECT_TRUE(over) << "the splash is above the frame";
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(splash); }, 10000));
}

TEST(Splash, WithoutAPictureStartUpGoesOn) {
  CSplashWindow splash;
  ASSERT_TRUE(splash.CreateSplash(nullptr, L"", 100, 15));
  HWND window = splash.hwnd();
  EXPECT_FALSE(splash.LoadSplashPicture(static_cast<HBITMAP>(nullptr)));
  splash.ShowSplash();  // nothing to show: the splash goes, nothing fails
  EXPECT_FALSE(IsWindow(window));
}

// A parent that paints itself one colour, and a transparent label on it.
class Backdrop : public velmora::winfw::Window {
 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_ERASEBKGND) {
      RECT all;
      GetClientRect(hwnd(), &all);
      velmora::winfw::Brush green(CreateSolidBrush(RGB(0, 160, 0)));
      FillRect(reinterpret_cast<HDC>(wparam), &all, green.get());
      return 1;
    }
    return Default(message, wparam, lparam);
  }
};

TEST(TransparentStatic, ANewTextIsDrawnOverThePartentsBackgroundNotOverTheOldText) {
  velmora::winfw::WindowClassArgs cls;
  cls.name = L"VelmoraTestBackdrop";
  ASSERT_TRUE(velmora::winfw::RegisterWindowClass(cls));
  Backdrop parent;
  velmora::winfw::WindowArgs args;
  args.class_name = L"VelmoraTestBackdrop";
  args.style = WS_POPUP | WS_VISIBLE;
  args.x = 50;
  args.y = 50;
  args.width = 200;
  args.height = 60;
  ASSERT_TRUE(parent.Create(args));
  HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 10, 180,
                               40, parent.hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
  CTarvikTransparentStatic text;
  ASSERT_TRUE(text.Attach(label));
  velmora::winfw::Font big(
      CreateFontW(36, 0, 0, 0, FW_BLACK, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(big.get()), TRUE);
  UpdateWindow(parent.hwnd());

  // Every pixel of the label is the parent's green, or the black text.
  auto count_black = [&] {
    velmora::winfw::WindowDc dc(label);
    int black = 0, other = 0;
    for (int y = 0; y < 40; y += 2) {
      for (int x = 0; x < 180; x += 2) {
        const COLORREF c = GetPixel(dc.get(), x, y);
        if (c == RGB(0, 0, 0))
          ++black;
        else if (c != RGB(0, 160, 0) && c != CLR_INVALID)
          ++other;
      }
    }
    return std::make_pair(black, other);
  };
  SetWindowTextW(label, L"WWWWWWW");
  const auto wide = count_black();
  SetWindowTextW(label, L"i");
  const auto narrow = count_black();
  EXPECT_GT(wide.first, 0);
  EXPECT_GT(narrow.first, 0);
  EXPECT_LT(narrow.first * 4, wide.first);  // the wide text's pixels are gone
  text.Detach();
}

}  // namespace
