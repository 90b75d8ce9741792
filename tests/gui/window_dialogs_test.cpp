// The real dialogs, answered from another thread as an outside tool answers them: the
// message box, the open-file dialog and the folder browser; and the single-instance rule,
// in-process and with the real program.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/gui_harness.h"
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

}  // namespace
}  // namespace velmora::ui::test
