// The save job's question about a package that was there before the run, and its warning box,
// shown by the real message box: the buttons the engine's flags ask for and the ids it reads.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/job/job_window.h"
#include "feedback/app_message_box.h"
#include "feedback/message_box.h"
#include "gui/support/feedback_box_driver.h"

namespace velmora {
namespace {

using test::BoxDriver;

static_assert(kIdYesForAll == kIdYesToAll, "the save job reads the box's \"Yes to all\" id");
static_assert((kMbReplaceQuestion & kMbYesToAll) != 0, "the question offers \"Yes to all\"");
static_assert((kMbWarning & kMbIconMask) == 0x30, "the warning icon");

// Ids of the box's push buttons, left to right.
std::vector<int> ButtonIds(HWND box) {
  std::vector<std::pair<LONG, int>> found;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    const LONG_PTR type = GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK;
    if (lstrcmpiW(name, L"Button") != 0 || type == BS_AUTOCHECKBOX) continue;
    RECT r{};
    GetWindowRect(child, &r);
    found.emplace_back(r.left, GetDlgCtrlID(child));
  }
  std::sort(found.begin(), found.end());
  std::vector<int> ids;
  for (const auto& f : found) ids.push_back(f.second);
  return ids;
}

TEST(SaveQuestionsTest, AnEarlierPackageIsAskedAboutWithYesYesToAllAndNo) {
  for (const int answer : {kIdYes, kIdYesForAll, kIdNo}) {
    SCOPED_TRACE(answer);
    BoxDriver driver({[answer](HWND box) {
      EXPECT_EQ(ButtonIds(box), (std::vector<int>{kIdYes, kIdYesForAll, kIdNo}));
      PostMessageW(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    }});
    EXPECT_EQ(AppMessageBox(nullptr,
                            L"E:\\Out\\VONDRELREP_a.ods already exists.<br>Do you want to "
                            L"replace it?",
                            kMbReplaceQuestion | kMbNoBeep),
              answer);
  }
}

TEST(SaveQuestionsTest, TheWarningOfARunNotWhollySavedHasOneOkButton) {
  BoxDriver driver({[](HWND box) {
    EXPECT_EQ(ButtonIds(box), (std::vector<int>{IDOK}));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  }});
  EXPECT_EQ(AppMessageBox(nullptr,
                          L"0 of 1 file(s) saved; the rest were not saved (see the log).<br>"
                          L"Destination folder:<br><a href='E:\\Out'>E:\\Out</a>",
                          kMbWarning | kMbNoBeep),
            IDOK);
}

}  // namespace
}  // namespace velmora
