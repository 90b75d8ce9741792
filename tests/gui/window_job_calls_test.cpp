// The job window a worker is handed, on the real view: the calls that return nothing may be
// carried out later, but always in the order the worker made them, always before a message
// box and before a call that answers something from what they change; and a flood of log
// lines all reach the log, in order and in their colours.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <richedit.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/gui_harness.h"
#include "ui/resource_ids.h"

namespace velmora::ui::test {
namespace {

// Runs `body` on a thread of its own with the view's worker window, as a job's worker runs,
// while this thread pumps messages; false when it did not end in time.
bool RunWorker(GuiHarness& h, const std::function<void(JobWindow&)>& body) {
  std::atomic<bool> done{false};
  JobWindow& window = h.view().worker_window();
  std::thread worker([&] {
    body(window);
    done.store(true);
    PostMessageW(h.frame().hwnd(), WM_NULL, 0, 0);
  });
  const bool ended = Pump([&] { return done.load(); }, 60000);
  worker.join();
  PumpPending();
  return ended;
}

// What the window shows at one moment.
struct Seen {
  int total_pos = -1;
  std::wstring log;
  int image0 = -1;
  bool stop_enabled = false;
};

Seen Look(GuiHarness& h) {
  Seen seen;
  seen.total_pos = static_cast<int>(SendMessageW(h.view().total_bar(), PBM_GETPOS, 0, 0));
  seen.log = Text(h.view().log());
  seen.image0 = h.view().file_list().ItemImage(0);
  seen.stop_enabled = Enabled(h.view().Child(ID_TARVIK_BTN_STOP));
  return seen;
}

TEST(WindowJobCalls, CallsThatAnswerAndBoxesSeeEveryEarlierCallDoneInOrder) {
  GuiHarness h;
  h.view().AddFiles({L"C:\\data\\a.ods", L"C:\\data\\b.ods"});
  intptr_t data_after_replace = -1, data_after_set = -1, data_other = -1;
  Seen at_owned_box, at_own_box;
  h.dialogs().OnNextBox([&] { at_owned_box = Look(h); });
  ASSERT_TRUE(RunWorker(h, [&](JobWindow& w) {
    w.SetLogText(L"");
    w.SetBarRange(Bar::kTotal, 100);
    w.SetBarPos(Bar::kTotal, 10);
    w.SetBarPos(Bar::kTotal, 40);
    // Set, then replaced: a fresh item's data, whatever order a queue might prefer.
    w.SetFileData(0, 1);
    w.ReplaceFileItem(0, L"C:\\data\\a.ods", 1);
    data_after_replace = w.FileData(0);
    w.SetFileData(1, 1);
    // A read of another item while item 1's change still waits.
    data_other = w.FileData(0);
    data_after_set = w.FileData(1);
    w.AppendLog(L"one\r\n", kBlack);
    w.AppendLog(L"two\r\n", kGreen);
    w.EnableControl(Control::kStop, true);
    w.AppendLog(L"three\r\n", kBlack);
    w.ShowMessageBox(BoxOwner::kView, L"owned", kMbInformation);
    // The worker's own box: it is shown on the worker, the window's state is read from here
    // as another program would read it.
    w.SetBarPos(Bar::kTotal, 70);
    w.EnableControl(Control::kStop, false);
    w.AppendLog(L"four\r\n", kRed);
    h.dialogs().OnNextBox([&] { at_own_box = Look(h); });
    w.ShowMessageBox(BoxOwner::kNone, L"own", kMbInformation);
    // Left for the end of the worker.
    w.SetBarPos(Bar::kTotal, 90);
    w.AppendLog(L"five\r\n", kBlack);
  }));
  EXPECT_EQ(data_after_replace, 0);
  EXPECT_EQ(data_other, 0);
  EXPECT_EQ(data_after_set, 1);

  EXPECT_EQ(at_owned_box.total_pos, 40);
  EXPECT_EQ(at_owned_box.log, L"one\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(at_owned_box.image0, 1);
  EXPECT_TRUE(at_owned_box.stop_enabled);

  EXPECT_EQ(at_own_box.total_pos, 70);
  EXPECT_EQ(at_own_box.log, L"one\r\ntwo\r\nthree\r\nfour\r\n");
  EXPECT_FALSE(at_own_box.stop_enabled);

  // What came after the last box shows once the window has caught up.
  ASSERT_TRUE(Pump([&] { return Text(h.view().log()).find(L"five") != std::wstring::npos; }));
  EXPECT_EQ(SendMessageW(h.view().total_bar(), PBM_GETPOS, 0, 0), 90);
  EXPECT_EQ(Text(h.view().log()), L"one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n");
  EXPECT_EQ(h.view().file_list().ItemText(0), L"C:\\data\\a.ods");
}

std::vector<int>* g_positions = nullptr;

LRESULT CALLBACK RecordPositions(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                 DWORD_PTR) {
  if (message == PBM_SETPOS && g_positions != nullptr) {
    g_positions->push_back(static_cast<int>(wparam));
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

// Of the positions queued in one batch only the last of each bar is drawn, but one set before
// a new range of the same bar still reaches it: the completion estimate follows it.
TEST(WindowJobCalls, ABatchKeepsAPositionSetBeforeARangeChangeOfItsBar) {
  GuiHarness h;
  const HWND bar = h.view().total_bar();
  std::vector<int> positions;
  g_positions = &positions;
  ASSERT_TRUE(SetWindowSubclass(bar, RecordPositions, 1, 0));
  // None of these calls waits for the window, and this thread handles no message until the
  // worker has queued them all: they make one batch.
  std::thread worker([&] {
    JobWindow& w = h.view().worker_window();
    w.SetBarPos(Bar::kTotal, 40);
    w.SetBarRange(Bar::kTotal, 200);
    w.SetBarPos(Bar::kTotal, 5);
    w.SetBarPos(Bar::kTotal, 10);
  });
  worker.join();
  h.view().DrainJobCalls();
  RemoveWindowSubclass(bar, RecordPositions, 1);
  g_positions = nullptr;
  EXPECT_EQ(positions, (std::vector<int>{40, 10}));
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 200);
}

// The colour of the first character of log line `line`.
COLORREF LineColour(HWND log, int line) {
  const auto start = static_cast<LONG>(SendMessageW(log, EM_LINEINDEX, line, 0));
  CHARRANGE range{start, start + 1};
  SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  SendMessageW(log, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format.crTextColor;
}

std::wstring Line(HWND log, int line) {
  std::vector<wchar_t> buffer(256);
  *reinterpret_cast<WORD*>(buffer.data()) = static_cast<WORD>(buffer.size() - 1);
  const auto n = static_cast<size_t>(
      SendMessageW(log, EM_GETLINE, line, reinterpret_cast<LPARAM>(buffer.data())));
  std::wstring text(buffer.data(), n);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
  return text;
}

TEST(WindowJobCalls, TensOfThousandsOfLogLinesAllReachTheLogInOrderAndColour) {
  GuiHarness h;
  constexpr int kLines = 20000;
  // Colours change every seven lines, so that lines of one colour and changes both occur.
  auto colour = [](int i) { return (i / 7) % 3 == 0 ? kBlack : (i / 7) % 3 == 1 ? kGreen : kRed; };
  ASSERT_TRUE(RunWorker(h, [&](JobWindow& w) {
    w.SetLogText(L"");
    for (int i = 0; i < kLines; ++i)
      w.AppendLog(L"line " + std::to_wstring(i) + L"\r\n", colour(i));
  }));
  const HWND log = h.view().log();
  // The window writes them a slice at a time; all of them arrive.
  ASSERT_TRUE(
      Pump([&] { return SendMessageW(log, EM_GETLINECOUNT, 0, 0) > kLines; }, 5 * 60 * 1000));
  EXPECT_EQ(SendMessageW(log, EM_GETLINECOUNT, 0, 0), kLines + 1);
  for (int i : {0, 6, 7, 13, 14, 21, 9999, kLines - 1}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Line(log, i), L"line " + std::to_wstring(i));
    EXPECT_EQ(LineColour(log, i), colour(i));
  }
  EXPECT_EQ(Line(log, kLines), L"");
  // The last line is in view: the log scrolled with it.
  const auto first_visible = SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first_visible, kLines - 100);
}

// Emptying a long log (as the start of a save does) is quick and leaves a log that is the
// same to a user and to a program that looks it up: id, class, styles, font, limit, place
// among its siblings and rectangle, with the appends going on into it.
TEST(WindowJobCalls, ALongLogIsEmptiedAtOnceIntoALogLikeTheFirst) {
  GuiHarness h;
  const HWND view = h.view().hwnd();
  const HWND small = h.view().log();
  ASSERT_TRUE(RunWorker(h, [&](JobWindow& w) { w.SetLogText(L"a few lines\r\n"); }));
  EXPECT_EQ(h.view().log(), small);
  // The styles of a log with little in it: the scroll bars show only when needed.
  const LONG style = GetWindowLongW(small, GWL_STYLE),
             ex_style = GetWindowLongW(small, GWL_EXSTYLE);

  ASSERT_TRUE(RunWorker(h, [&](JobWindow& w) {
    for (int i = 0; i < 3000; ++i) w.AppendLog(L"line " + std::to_wstring(i) + L"\r\n", kGreen);
  }));
  ASSERT_TRUE(Pump([&] { return SendMessageW(small, EM_GETLINECOUNT, 0, 0) > 3000; }, 60000));
  const HWND old = h.view().log();
  auto default_format = [](HWND log) {
    CHARFORMATW format{};
    format.cbSize = sizeof format;
    SendMessageW(log, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    return format;
  };
  const CHARFORMATW old_format = default_format(old);
  RECT before{};
  GetWindowRect(old, &before);
  const HWND previous = GetWindow(old, GW_HWNDPREV), next = GetWindow(old, GW_HWNDNEXT);

  ASSERT_TRUE(RunWorker(h, [&](JobWindow& w) {
    w.SetLogText(L"");
    w.AppendLog(L"saving starts\r\n", kRed);
  }));
  ASSERT_TRUE(Pump([&] { return Text(h.view().log()) == L"saving starts\r\n"; }, 60000));

  const HWND log = h.view().log();
  EXPECT_FALSE(IsWindow(old));
  EXPECT_EQ(GetDlgItem(view, ID_TARVIK_EDIT_CTRL), log);
  wchar_t cls[32] = {};
  GetClassNameW(log, cls, 32);
  EXPECT_STREQ(cls, L"RichEdit20W");
  EXPECT_EQ(GetWindowLongW(log, GWL_STYLE), style);
  EXPECT_EQ(GetWindowLongW(log, GWL_EXSTYLE), ex_style);
  RECT after{};
  GetWindowRect(log, &after);
  EXPECT_TRUE(EqualRect(&before, &after));
  EXPECT_EQ(GetWindow(log, GW_HWNDPREV), previous);
  EXPECT_EQ(GetWindow(log, GW_HWNDNEXT), next);
  EXPECT_EQ(SendMessageW(log, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
  EXPECT_EQ(LineColour(log, 0), kRed);
  const CHARFORMATW format = default_format(log);
  EXPECT_STREQ(format.szFaceName, old_format.szFaceName);
  EXPECT_EQ(format.yHeight, old_format.yHeight);
  EXPECT_NE(format.dwEffects & CFE_BOLD, 0u);
  EXPECT_NE(SendMessageW(log, EM_GETOPTIONS, 0, 0) & ECO_READONLY, 0);
}

}  // namespace
}  // namespace velmora::ui::test
