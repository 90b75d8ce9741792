// The real dialogs, answered from another thread as an outside tool answers them: the
// message box, the open-file dialog and the folder browser; and the single-instance rule,
// in-process and with the real program.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/gui_harness.h"
#include "ui/app/instance_handover.h"
#include "ui/app/single_instance_guard.h"
#include "ui/dialogs/app_message_box.h"
#include "ui/resource_ids.h"

namespace velmora::ui::test {
namespace {

TEST(RealDialogs, MessageBoxShowsTheTextAndAnswersWithTheButtonPressed) {
  std::wstring shown;
  int result = 0;
  {
    DialogAnswerer answer(L"Velmora", [&](HWND box) {
      shown = ChildTexts(box);
      PressButton(box, IDYES);
    });
    result = AppMessageBox(nullptr, L"First line<br>second line", MB_YESNO | MB_ICONQUESTION);
    EXPECT_TRUE(answer.found());
  }
  EXPECT_EQ(result, IDYES);
  EXPECT_NE(shown.find(L"First line"), std::wstring::npos) << shown;
  EXPECT_NE(shown.find(L"second line"), std::wstring::npos) << shown;
  EXPECT_EQ(shown.find(L"<br>"), std::wstring::npos) << "mark-up is not shown as text";
}

TEST(RealDialogs, OpenFileDialogAddsThePickedFile) {
  GuiHarness h;
  const std::wstring file = h.temp() / L"picked.ods";
  ASSERT_TRUE(CopyInto(SourceFile("tests/interop/fixtures/numbers_text.ods"), file));
  Dialogs* scripted = SetDialogs(nullptr);
  {
    DialogAnswerer answer(L"", [&](HWND dialog) {
      SendMessageW(GetDlgItem(dialog, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
      PressButton(dialog, IDOK);
    });
    h.Click(ID_TARVIK_BTN_SELECT_FILES);
    EXPECT_TRUE(answer.found());
  }
  SetDialogs(scripted);
  ASSERT_EQ(h.view().file_list().Count(), 1);
  EXPECT_EQ(_wcsicmp(h.view().file_list().ItemText(0).c_str(), file.c_str()), 0);
  EXPECT_TRUE(Enabled(h.view().Child(ID_TARVIK_BTN_RECOVER_FILES)));
}

TEST(RealDialogs, FolderBrowserFillsTheFieldOnlyWithAFolder) {
  GuiHarness h;
  h.view().file_list().Append(L"x.ods", kImageAdded);
  EnableWindow(h.view().Child(ID_TARVIK_BTN_BROWSE), TRUE);
  Dialogs* scripted = SetDialogs(nullptr);
  {
    DialogAnswerer answer(L"", [&](HWND dialog) { PressButton(dialog, IDOK); });
    h.Click(ID_TARVIK_BTN_BROWSE);
    EXPECT_TRUE(answer.found());
  }
  {
    DialogAnswerer answer(L"", [&](HWND dialog) { PressButton(dialog, IDCANCEL); });
    h.Click(ID_TARVIK_BTN_BROWSE);
    EXPECT_TRUE(answer.found());
  }
  SetDialogs(scripted);
  // Whatever the browser had selected: either nothing came back, or an existing folder.
  const std::wstring picked = h.view().Destination();
  EXPECT_TRUE(picked.empty() || IsDir(picked)) << picked;
  EXPECT_TRUE(h.alive());
}

TEST(SingleInstance, TheSecondGuardOfANameSeesTheFirst) {
  const wchar_t* name = L"Global\\velmora-gui-test-guard";
  auto first = std::make_unique<SingleInstanceGuard>(name);
  EXPECT_FALSE(first->AnotherCopyRuns());
  {
    SingleInstanceGuard second(name);
    EXPECT_TRUE(second.AnotherCopyRuns());
  }
  first.reset();
  SingleInstanceGuard after(name);
  EXPECT_FALSE(after.AnotherCopyRuns()) << "the name goes with the last handle";
}

TEST(SingleInstance, TheProgramRefusesToStartWhileACopyRuns) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring program(self);
  program.erase(program.find_last_of(L'\\'));
  program.erase(program.find_last_of(L'\\') + 1);
  program += L"Velmora.exe";
  ASSERT_TRUE(Exists(program)) << "build the Velmora target first";

  // This process holds the program's own mutex, as a running copy does.
  SingleInstanceGuard running;
  std::wstring command = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  std::wstring shown;
  {
    DialogAnswerer answer(
        L"Velmora",
        [&](HWND box) {
          shown = ChildTexts(box);
          PressButton(box, IDOK);
        },
        process.dwProcessId);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(answer.found());
  }
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  TerminateProcess(process.hProcess, 1);  // only if it is still there after a failure
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);
  EXPECT_NE(shown.find(L"Another instance of application is already running"), std::wstring::npos)
      << shown;
}

// What the open-file dialog writes into its buffer, as the list of paths it means: a name
// typed as a full path (drive or network) keeps its own folder.
TEST(OpenFileBuffer, NamesAreJoinedToTheFolderUnlessAlreadyFullPaths) {
  struct Case {
    const char* what;
    std::wstring buffer;  // nulls as the dialog writes them
    std::vector<std::wstring> paths;
  };
  const Case cases[] = {
      {"one file", std::wstring(L"C:\\data\\a.ods\0", 14), {L"C:\\data\\a.ods"}},
      {"folder and names",
       std::wstring(L"C:\\data\0a.ods\0b.ods\0", 20),
       {L"C:\\data\\a.ods", L"C:\\data\\b.ods"}},
      {"drive root", std::wstring(L"D:\\\0a.ods\0b.ods\0", 16), {L"D:\\a.ods", L"D:\\b.ods"}},
      {"two full paths typed in quotes",
       std::wstring(L"C:\\here\0D:\\x\\a.ods\0E:\\y\\b.ods\0", 30),
       {L"D:\\x\\a.ods", L"E:\\y\\b.ods"}},
      {"a full path and a name",
       std::wstring(L"C:\\here\0\\\\server\\share\\a.ods\0b.ods\0", 35),
       {L"\\\\server\\share\\a.ods", L"C:\\here\\b.ods"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<wchar_t> buffer(c.buffer.begin(), c.buffer.end());
    buffer.resize(buffer.size() + 2, L'\0');
    EXPECT_EQ(SplitOpenFileBuffer(buffer.data(), buffer.size()), c.paths);
  }
}

// The real dialog refuses a name that does not exist: it says so in a box of its own and
// stays open; nothing reaches the list.
struct DialogSearch {
  HWND dialog;
  HWND found;
};

// A named function, not a lambda: on i686 the callback must be __stdcall, which a lambda's
// conversion to a function pointer is not.
BOOL CALLBACK FindOtherDialog(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<DialogSearch*>(p);
  wchar_t name[16] = {};
  GetClassNameW(w, name, 16);
  if (w != s->dialog && IsWindowVisible(w) && lstrcmpW(name, L"#32770") == 0) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND OtherDialogOfThread(HWND dialog) {
  DialogSearch search{dialog, nullptr};
  EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), FindOtherDialog,
                    reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST(RealDialogs, OpenFileDialogRefusesAMisspeltName) {
  GuiHarness h;
  const std::wstring missing = h.temp() / L"no-such-file.ods";
  Dialogs* scripted = SetDialogs(nullptr);
  bool complained = false, still_open = false;
  {
    DialogAnswerer answer(L"", [&](HWND dialog) {
      SendMessageW(GetDlgItem(dialog, 1148), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(missing.c_str()));
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      // The dialog's complaint, a box of its own, is answered; then the dialog is cancelled.
      for (int i = 0; i < 50 && !complained && IsWindow(dialog); ++i) {
        Sleep(100);
        if (HWND box = OtherDialogOfThread(dialog)) {
          complained = true;
          PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
      }
      Sleep(300);
      still_open = IsWindow(dialog) && IsWindowVisible(dialog);
      for (int i = 0; i < 50 && IsWindow(dialog); ++i) {
        if (HWND box = OtherDialogOfThread(dialog)) PostMessageW(box, WM_COMMAND, IDOK, 0);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        Sleep(100);
      }
    });
    h.Click(ID_TARVIK_BTN_SELECT_FILES);
    EXPECT_TRUE(answer.found());
  }
  SetDialogs(scripted);
  EXPECT_TRUE(complained) << "the dialog said the name does not exist";
  EXPECT_TRUE(still_open) << "the dialog did not take the name";
  EXPECT_EQ(h.view().file_list().Count(), 0);
}

// A set of dialogs of the program's own: its message box's name is one windows.h leaves alone
// (MessageBox is a macro there and would rename a method called so).
class CountingDialogs : public Dialogs {
 public:
  int ShowMessageBox(HWND, const std::wstring&, unsigned) override { return ++count; }
  int count = 0;
};

TEST(Dialogs, TheMessageBoxMethodKeepsItsNameBesideWindowsMacros) {
#ifndef MessageBox
  GTEST_SKIP() << "windows.h defines no MessageBox macro here";
#endif
  CountingDialogs counting;
  Dialogs* previous = SetDialogs(&counting);
  EXPECT_EQ(CurrentDialogs().ShowMessageBox(nullptr, L"x", MB_OK), 1);
  SetDialogs(previous);
  EXPECT_EQ(counting.count, 1);
}

// "Open with" while the program runs: a second start with a file on its command line hands it
// to the running window (here this process's frame, which holds the program's mutex as a
// running copy does) and ends at once, without a box.
TEST(SingleInstance, ASecondStartWithFilesHandsThemToTheRunningWindow) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring program(self);
  program.erase(program.find_last_of(L'\\'));
  program.erase(program.find_last_of(L'\\') + 1);
  program += L"Velmora.exe";
  ASSERT_TRUE(Exists(program)) << "build the Velmora target first";

  GuiHarness h;
  SingleInstanceGuard running;
  ASSERT_EQ(FindRunningFrame(), h.frame().hwnd());
  const std::wstring file = h.temp() / L"opened with.ods";
  ASSERT_TRUE(CopyInto(SourceFile("tests/interop/fixtures/numbers_text.ods"), file));
  std::wstring command = L"\"" + program + L"\" \"" + file + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  // This thread answers the hand-over while the other process waits for it; a box there would
  // keep that process from ending.
  const bool ended =
      Pump([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 30000);
  EXPECT_TRUE(ended) << "the second copy ends by itself, without a box";
  PumpPending();
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  TerminateProcess(process.hProcess, 1);  // only if it is still there after a failure
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);
  ASSERT_EQ(h.view().file_list().Count(), 1);
  EXPECT_EQ(_wcsicmp(h.view().file_list().ItemText(0).c_str(), file.c_str()), 0);
}

}  // namespace
}  // namespace velmora::ui::test
