// The message box shown for real and driven from inside its message loop: buttons, results,
// the keyboard, the link of the save job's final message, remembered answers, count-downs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "feedback/app_message_box.h"
#include "feedback/link_target.h"
#include "feedback/message_box_dialog.h"
#include "gui/support/feedback_box_driver.h"
#include "winfw/gdi.h"

namespace velmora {
namespace {

using test::BoxDriver;

std::wstring Text(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

struct ButtonInfo {
  int id;
  std::wstring text;
  RECT rect;
};

// The box's push buttons, left to right.
std::vector<ButtonInfo> Buttons(HWND box) {
  std::vector<ButtonInfo> out;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    const LONG_PTR type = GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK;
    if (lstrcmpiW(name, L"Button") != 0 || type == BS_AUTOCHECKBOX) continue;
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
    out.push_back(ButtonInfo{GetDlgCtrlID(child), Text(child), r});
  }
  std::sort(out.begin(), out.end(),
            [](const ButtonInfo& a, const ButtonInfo& b) { return a.rect.left < b.rect.left; });
  return out;
}

void Press(HWND box, int id) {
  PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
}

void Key(HWND box, UINT key) {
  HWND focus = GetFocus();
  PostMessageW(focus != nullptr ? focus : box, WM_KEYDOWN, key, 0);
  PostMessageW(focus != nullptr ? focus : box, WM_KEYUP, key, 0xC0000000);
}

TEST(FeedbackMessageBoxTest, InformationBox) {
  struct Case {
    std::function<void(HWND)> end;
    int result;
  };
  const Case cases[] = {
      {[](HWND box) { Press(box, IDOK); }, IDOK},
      {[](HWND box) { Key(box, VK_RETURN); }, IDOK},
      {[](HWND box) { Key(box, VK_ESCAPE); }, IDCANCEL},
      {[](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    BoxDriver driver({
        [](HWND box) {
          EXPECT_EQ(Text(box), L"Velmora");
          EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
          const auto buttons = Buttons(box);
          ASSERT_EQ(buttons.size(), 1u);
          EXPECT_EQ(buttons[0].id, IDOK);
          EXPECT_EQ(buttons[0].text, L"OK");
          RECT client{};
          GetClientRect(box, &client);
          const int centre = (buttons[0].rect.left + buttons[0].rect.right) / 2;
          EXPECT_LE(std::abs(centre - client.right / 2), 5);
          EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), L"Please select a valid folder path.");
          EXPECT_EQ(GetFocus(), GetDlgItem(box, IDOK));

          // The yellow bump behind the message, and the information icon left of the text.
          winfw::DibSurface shot(client.right, client.bottom);
          SendMessageW(box, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(shot.dc()), PRF_CLIENT);
          const COLORREF edge = shot.Pixel(1, 5), middle = shot.Pixel(client.right / 2, 5);
          EXPECT_LE(std::abs(GetRValue(edge) - 253) + std::abs(GetGValue(edge) - 236) +
                        std::abs(GetBValue(edge) - 81),
                    9);
          EXPECT_LE(std::abs(GetRValue(middle) - 254) + std::abs(GetGValue(middle) - 243) +
                        std::abs(GetBValue(middle) - 169),
                    12);
          int icon = 0;
          for (int y = 19; y < 51; ++y)
            for (int x = 19; x < 51; ++x) icon += shot.Pixel(x, y) != shot.Pixel(x, 5);
          EXPECT_GT(icon, 100);
        },
        c.end,
    });
    EXPECT_EQ(AppMessageBox(nullptr, L"Please select a valid folder path.", kAppBoxInformation),
              c.result);
    EXPECT_EQ(driver.boxes_seen(), 1);
  }
}

TEST(FeedbackMessageBoxTest, QuestionBoxHasNoWayOutButYesOrNo) {
  for (const int answer : {IDYES, IDNO}) {
    BoxDriver driver({
        [](HWND box) {
          const auto buttons = Buttons(box);
          ASSERT_EQ(buttons.size(), 2u);
          EXPECT_EQ(buttons[0].id, IDYES);
          EXPECT_EQ(buttons[0].text, L"Yes");
          EXPECT_EQ(buttons[1].id, IDNO);
          EXPECT_EQ(buttons[1].text, L"No");
          RECT client{};
          GetClientRect(box, &client);
          EXPECT_LE(std::abs((buttons[0].rect.left - client.left) -
                             (client.right - buttons[1].rect.right)),
                    1);
          HWND yes = GetDlgItem(box, IDYES);
          EXPECT_EQ(GetFocus(), yes);
          EXPECT_EQ(GetWindowLongPtrW(yes, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
          EXPECT_TRUE(GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
          Key(box, VK_ESCAPE);
          PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
          PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        },
        [](HWND box) { EXPECT_TRUE(IsWindowVisible(box)); },
        [answer](HWND box) { Press(box, answer); },
    });
    EXPECT_EQ(AppMessageBox(nullptr, L"Are you sure to stop the running process?", kAppBoxQuestion),
              answer);
  }
}

std::vector<std::wstring> g_opened;

TEST(FeedbackMessageBoxTest, FolderLinkOpensTheFolderAndLeavesTheBoxOpen) {
  g_opened.clear();
  SetLinkOpenerForTest([](const std::wstring& target) {
    g_opened.push_back(target);
    return 42;
  });
  const std::wstring folder = L"C:\\Repaired files";
  const std::wstring text =
      L"File(s) saving process has been completed.Saved file(s) location "
      L"is:<br><a href='" +
      folder + L"'>" + folder + L"</a>";
  BoxDriver driver({
      [](HWND box) {
        UpdateWindow(box);
        auto* dialog = reinterpret_cast<CMessageBoxDialog*>(GetWindowLongPtrW(box, DWLP_USER));
        ASSERT_NE(dialog, nullptr);
        const auto& links = dialog->message_renderer().link_areas();
        ASSERT_EQ(links.size(), 1u);
        const RECT r = links[0].rect;
        const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
        PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)),
                  L"File(s) saving process has been completed.Saved file(s) location is:\r\n" +
                      std::wstring(L"C:\\Repaired files"));
      },
      [](HWND box) {
        EXPECT_TRUE(IsWindowVisible(box));
        EXPECT_EQ(g_opened, (std::vector<std::wstring>{L"C:\\Repaired files"}));
        Press(box, IDOK);
      },
  });
  EXPECT_EQ(AppMessageBox(nullptr, text, kAppBoxInformation), IDOK);
  SetLinkOpenerForTest(nullptr);
}

// A destination of 220 characters: the box wraps the path rather than growing past the work
// area, and every piece of the wrapped link still opens the whole path.
TEST(FeedbackMessageBoxTest, ALongDestinationWrapsInsideTheWorkArea) {
  g_opened.clear();
  SetLinkOpenerForTest([](const std::wstring& target) {
    g_opened.push_back(target);
    return 42;
  });
  std::wstring folder = L"C:\\Repaired";
  while (folder.size() < 220) folder += L"\\a very long folder name";
  folder.resize(220);
  const std::wstring text =
      L"File(s) saving process has been completed.Saved file(s) location "
      L"is:<br><a href='" +
      folder + L"'>" + folder + L"</a>";
  BoxDriver driver({
      [&](HWND box) {
        UpdateWindow(box);
        RECT window{};
        GetWindowRect(box, &window);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
        EXPECT_GE(window.left, monitor.rcWork.left);
        EXPECT_LE(window.right, monitor.rcWork.right);
        EXPECT_GE(window.top, monitor.rcWork.top);
        auto* dialog = reinterpret_cast<CMessageBoxDialog*>(GetWindowLongPtrW(box, DWLP_USER));
        ASSERT_NE(dialog, nullptr);
        const auto& links = dialog->message_renderer().link_areas();
        ASSERT_FALSE(links.empty());
        for (const LinkArea& link : links) EXPECT_EQ(link.target, folder);
        const RECT r = links.back().rect;
        const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
        PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
      },
      [&](HWND box) {
        EXPECT_EQ(g_opened, (std::vector<std::wstring>{folder}));
        Press(box, IDOK);
      },
  });
  EXPECT_EQ(AppMessageBox(nullptr, text, kAppBoxInformation), IDOK);
  SetLinkOpenerForTest(nullptr);
}

TEST(FeedbackMessageBoxTest, ButtonSetsInOrder) {
  struct Case {
    unsigned flags;
    std::wstring custom;
    std::vector<int> ids;
    std::vector<std::wstring> captions;
  };
  const Case cases[] = {
      {1, L"", {1, 2}, {L"OK", L"Cancel"}},
      {2, L"", {3, 4, 5}, {L"Abort", L"Retry", L"Ignore"}},
      {3 | kMbYesToAll | kMbNoToAll,
       L"",
       {6, 19, 7, 20, 2},
       {L"Yes", L"Yes to all", L"No", L"No to all", L"Cancel"}},
      {6, L"", {2, 10, 11}, {L"Cancel", L"Try again", L"Continue"}},
      {8 | kMbHelp, L"", {14, 15, 2, 9}, {L"Skip", L"Skip all", L"Cancel", L"Help"}},
      {9, L"", {5, 16, 2}, {L"Ignore", L"Ignore all", L"Cancel"}},
      {0,
       L"One\r\n\nTwo\nThree\nFour\nFive",
       {23, 24, 25, 26},
       {L"One", L"Two", L"Three", L"Four"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    MessageBoxParams params = AppMessageBoxParams(nullptr, L"Choose.", c.flags | kMbNoBeep);
    params.custom_buttons = c.custom;
    BoxDriver driver({[&c](HWND box) {
      const auto buttons = Buttons(box);
      std::vector<int> ids;
      std::vector<std::wstring> captions;
      for (const auto& b : buttons) {
        ids.push_back(b.id);
        captions.push_back(b.text);
      }
      EXPECT_EQ(ids, c.ids);
      EXPECT_EQ(captions, c.captions);
      Press(box, c.ids.back() == 9 ? c.ids[0] : c.ids.back());
    }});
    const int expected = c.ids.back() == 9 ? c.ids[0] : c.ids.back();
    EXPECT_EQ(ShowMessageBoxIndirect(params), expected);
  }
}

TEST(FeedbackMessageBoxTest, DoNotShowAgainIsStoredAndReturned) {
  MessageBoxParams params = AppMessageBoxParams(
      nullptr, L"Remember me.", kAppBoxInformation | kMbCheckBox | kMbChecked | kMbNoBeep);
  params.remember_prefix = L"FeedbackTest";
  params.remember_number = 3;
  const std::wstring key = RememberKeyPath(params);
  EXPECT_EQ(key, L"Software\\velmora_gui_tests.exe\\MessageBoxAnswers");
  EXPECT_EQ(RememberValueName(params), L"FeedbackTest3");
  RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
  {
    BoxDriver driver({[](HWND box) {
      HWND check = nullptr;
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) check = child;
      }
      ASSERT_NE(check, nullptr);
      EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);
      bool label = false;
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        label = label || Text(child) == L"Do not show again";
      }
      EXPECT_TRUE(label);
      Press(box, IDOK);
    }});
    EXPECT_EQ(ShowMessageBoxIndirect(params), IDOK | static_cast<int>(kMbChecked));
  }
  BoxDriver none({});
  EXPECT_EQ(ShowMessageBoxIndirect(params), IDOK | static_cast<int>(kMbChecked));
  EXPECT_EQ(none.boxes_seen(), 0);
  RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

TEST(FeedbackMessageBoxTest, CountDownPressesTheDefaultButton) {
  MessageBoxParams params = AppMessageBoxParams(nullptr, L"Going soon.", 4 | 0x100 | kMbNoBeep);
  params.timeout = 2;
  BoxDriver driver({[](HWND box) {
    EXPECT_EQ(Text(GetDlgItem(box, IDNO)), L"No = 2");
    EXPECT_EQ(Text(GetDlgItem(box, IDYES)), L"Yes");
  }});
  EXPECT_EQ(ShowMessageBoxIndirect(params), IDNO);

  // A disable time counted in the title keeps the buttons off until it ends.
  params = AppMessageBoxParams(nullptr, L"Wait.", kMbNoBeep);
  params.disable_time = 1;
  params.count_in_caption = 1;
  BoxDriver disabled({[](HWND box) {
                        EXPECT_EQ(Text(box), L"Velmora (1 seconds remaining)");
                        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(box, IDOK)));
                      },
                      [](HWND box) {
                        for (int i = 0; i < 200 && !IsWindowEnabled(GetDlgItem(box, IDOK)); ++i) {
                          MSG msg;
                          MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
                          while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                            if (!IsDialogMessageW(box, &msg)) DispatchMessageW(&msg);
                          }
                        }
                        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(box, IDOK)));
                        EXPECT_EQ(Text(box), L"Velmora");
                        Press(box, IDOK);
                      }});
  EXPECT_EQ(ShowMessageBoxIndirect(params), IDOK);
}

TEST(FeedbackMessageBoxTest, MoreShowsTheFooter) {
  MessageBoxParams params = AppMessageBoxParams(nullptr, L"Short.", kAppBoxInformation | kMbNoBeep);
  params.footer_text = L"The details<br>on two lines.";
  params.footer_area.separator = 1;
  params.header_height = 10;
  params.header_text = L"<b>Header</b>";
  BoxDriver driver({
      [](HWND box) {
        EXPECT_EQ(Text(GetDlgItem(box, kIdMore)), L"More >>");
        RECT r{};
        GetWindowRect(box, &r);
        SetWindowLongPtrW(box, GWLP_USERDATA, r.bottom - r.top);
        Press(box, kIdMore);
      },
      [](HWND box) {
        EXPECT_EQ(Text(GetDlgItem(box, kIdLess)), L"<< More");
        auto* dialog = reinterpret_cast<CMessageBoxDialog*>(GetWindowLongPtrW(box, DWLP_USER));
        RECT r{};
        GetWindowRect(box, &r);
        EXPECT_EQ(r.bottom - r.top,
                  GetWindowLongPtrW(box, GWLP_USERDATA) + dialog->footer_height());
        Press(box, kIdLess);
      },
      [](HWND box) {
        EXPECT_EQ(Text(GetDlgItem(box, kIdMore)), L"More >>");
        Press(box, IDOK);
      },
  });
  EXPECT_EQ(ShowMessageBoxIndirect(params), IDOK);
}

TEST(FeedbackMessageBoxTest, LongLinesWidenTheBoxAndBreaksAddLines) {
  int widths[2] = {};
  int heights[2] = {};
  const std::wstring texts[2] = {L"short",
                                 L"a much longer line of text that makes the box wide<br>x"};
  for (int i = 0; i < 2; ++i) {
    BoxDriver driver({[&, i](HWND box) {
      RECT r{};
      GetClientRect(box, &r);
      widths[i] = r.right;
      heights[i] = r.bottom;
      Press(box, IDOK);
    }});
    AppMessageBox(nullptr, texts[i], kAppBoxInformation | kMbNoBeep);
  }
  EXPECT_GT(widths[1], widths[0] + 100);
  EXPECT_GE(heights[1], heights[0]);
}

}  // namespace
}  // namespace velmora
