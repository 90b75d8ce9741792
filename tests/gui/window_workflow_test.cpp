// The whole workflow through the real window, on real damaged and intact spreadsheets:
// select, repair, preview, destination, save; Stop answered Yes and No; Remove keeping the
// results of the items after the removed one; a drop; the close rules; the preview of a
// file that held several documents; Help without its file. Each step's control states are
// read back against the step table of the workflow.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/job/job_texts.h"
#include "support/gui_harness.h"
#include "ui/app/instance_handover.h"
#include "ui/resource_ids.h"
#include "winfw/gdi.h"

namespace velmora::ui::test {
namespace {

// What a step leaves: enabled (1), disabled (0) per control, Stop's visibility and the flags.
struct StepState {
  const char* step;
  int select, remove, repair, save, browse, media, destination, stop_shown;
  int select_allowed, remove_repair_allowed, save_allowed;
};

void ExpectState(GuiHarness& h, const StepState& s) {
  CVelmoraView& v = h.view();
  SCOPED_TRACE(s.step);
  EXPECT_EQ(Enabled(v.Child(ID_TARVIK_BTN_SELECT_FILES)), s.select == 1);
  EXPECT_EQ(Enabled(v.Child(ID_TARVIK_BTN_REMOVE_FILES)), s.remove == 1);
  EXPECT_EQ(Enabled(v.Child(ID_TARVIK_BTN_RECOVER_FILES)), s.repair == 1);
  EXPECT_EQ(Enabled(v.Child(ID_TARVIK_BTN_SAVE_FILES)), s.save == 1);
  EXPECT_EQ(Enabled(v.Child(ID_TARVIK_BTN_BROWSE)), s.browse == 1);
  EXPECT_EQ(Enabled(v.Child(ID_CHECK_BTN_EXTRACT_FILE_CONTENT)), s.media == 1);
  EXPECT_EQ(Enabled(v.Child(ID_TARVIK_BROWSE_EDIT_CTRL)), s.destination == 1);
  EXPECT_EQ(Visible(v.Child(ID_TARVIK_BTN_STOP)), s.stop_shown == 1);
  EXPECT_EQ(v.m_bSelectAllowed, s.select_allowed == 1);
  EXPECT_EQ(v.m_bRemoveRepairAllowed, s.remove_repair_allowed == 1);
  EXPECT_EQ(v.m_bSaveAllowed, s.save_allowed == 1);
  // The toolbar follows the same flags.
  const HWND bar = h.frame().bars().toolbar();
  EXPECT_EQ(SendMessageW(bar, TB_ISBUTTONENABLED, ID_SELECT_FILES, 0) != 0, s.select_allowed == 1);
  EXPECT_EQ(SendMessageW(bar, TB_ISBUTTONENABLED, ID_REPAIR_FILES, 0) != 0,
            s.remove_repair_allowed == 1);
  EXPECT_EQ(SendMessageW(bar, TB_ISBUTTONENABLED, ID_SAVE_FILES, 0) != 0, s.save_allowed == 1);
}

//                               sel rem rep sav brw med dst stop  S  RR  SV
constexpr StepState kCreated = {"created", 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0};
constexpr StepState kAdded = {"files added", 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0};
constexpr StepState kRepaired = {"repair ended", 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1};
constexpr StepState kSaved = {"save ended", 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1};
constexpr StepState kEmptied = {"list emptied", 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0};

std::wstring LogText(GuiHarness& h) {
  return Text(h.view().log());
}

bool LogHas(GuiHarness& h, const std::wstring& piece) {
  return LogText(h).find(piece) != std::wstring::npos;
}

class WindowWorkflowTest : public ::testing::Test {
 protected:
  // Copies of the fixtures in a folder of the test's own, so that nothing of the source
  // tree is touched.
  std::wstring Fixture(const std::string& relative, const std::wstring& name) {
    const std::wstring copy = h_.temp() / name;
    EXPECT_TRUE(CopyInto(SourceFile(relative), copy)) << relative;
    return copy;
  }
  void Select(std::vector<std::wstring> paths) {
    h_.dialogs().Open(std::move(paths));
    h_.Click(ID_TARVIK_BTN_SELECT_FILES);
  }
  void RepairAndWait() {
    h_.Click(ID_TARVIK_BTN_RECOVER_FILES);
    ASSERT_TRUE(h_.WaitIdle());
  }
  CTarvikListCtrl& list() { return h_.view().file_list(); }

  GuiHarness h_;
};

TEST_F(WindowWorkflowTest, SelectRepairPreviewDestinationSave) {
  ExpectState(h_, kCreated);
  EXPECT_EQ(LogText(h_), kLogStart);
  EXPECT_EQ(h_.view().preview().code(), kPreviewNoFiles);

  const std::wstring pictures = Fixture("tests/interop/fixtures/pictures.ods", L"pictures.ods");
  const std::wstring damaged = Fixture("samples/Budget-damaged.ods", L"Budget-damaged.ods");
  Select({pictures, damaged});
  ExpectState(h_, kAdded);
  ASSERT_EQ(list().Count(), 2);
  EXPECT_EQ(list().ItemText(0), pictures);
  EXPECT_EQ(list().ItemImage(0), kImageAdded);
  EXPECT_EQ(list().ItemData(1), 0);
  EXPECT_EQ(LogText(h_), kLogFilesAdded);
  EXPECT_EQ(h_.view().preview().code(), kPreviewFilesAdded);

  // Repair: Stop shows while the job runs, and the window goes back afterwards.
  h_.Press(ID_TARVIK_BTN_RECOVER_FILES);
  EXPECT_TRUE(Visible(h_.view().Child(ID_TARVIK_BTN_STOP)));
  EXPECT_FALSE(Enabled(h_.view().Child(ID_TARVIK_BTN_SELECT_FILES)));
  EXPECT_TRUE(h_.view().m_bRepairRan);
  ASSERT_TRUE(h_.WaitIdle());
  ExpectState(h_, kRepaired);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(list().ItemImage(i), kImageRepaired) << i;
    EXPECT_EQ(list().ItemData(i), 1) << i;
  }
  EXPECT_TRUE(LogHas(h_, pictures + L"  Repaired....\r\n"));
  EXPECT_TRUE(LogHas(h_,
                     L"Repairing process completed: 2 repaired, 0 partly repaired, 0 not "
                     L"repaired...."));
  EXPECT_TRUE(IsDir(h_.work() + L"\\pictures.ods0"));
  EXPECT_TRUE(IsDir(h_.work() + L"\\Budget-damaged.ods1"));
  EXPECT_EQ(h_.view().preview().code(), kPreviewSelectFile);
  EXPECT_FALSE(Visible(h_.view().file_label()));
  EXPECT_FALSE(Visible(h_.view().total_label()));

  // A click on the first item shows its thumbnail.
  RECT item{};
  item.left = LVIR_BOUNDS;
  SendMessageW(list().hwnd(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM(item.left + 40, (item.top + item.bottom) / 2);
  SendMessageW(list().hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(list().hwnd(), WM_LBUTTONUP, 0, at);
  EXPECT_TRUE(h_.view().preview().has_picture());
  EXPECT_EQ(h_.view().preview().mode(), CPictureBox::kFitted);

  // The destination through the folder browser, then Save with media.
  TempDir out;
  h_.dialogs().Browse(L"  " + out.path() + L" ");
  h_.Click(ID_TARVIK_BTN_BROWSE);
  EXPECT_EQ(Text(h_.view().Child(ID_TARVIK_BROWSE_EDIT_CTRL)), out.path());
  EXPECT_EQ(h_.view().Destination(), out.path());
  h_.dialogs().ClearBoxes();
  h_.Click(ID_TARVIK_BTN_SAVE_FILES);
  ASSERT_TRUE(h_.WaitIdle());
  ExpectState(h_, kSaved);
  EXPECT_TRUE(Exists(out / L"VONDRELREP_pictures.ods"));
  EXPECT_TRUE(Exists(out / L"VONDRELREP_Budget-damaged.ods"));
  EXPECT_TRUE(IsDir(out / L"pictures.ods_MediaContent"));
  EXPECT_TRUE(LogHas(h_, L" saving of file done....\r\n"));
  const auto boxes = h_.dialogs().boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_NE(boxes.back().text.find(L"<a href="), std::wstring::npos) << "the final message";
  EXPECT_TRUE(boxes.back().owned);
}

TEST_F(WindowWorkflowTest, StopAnsweredYesLeavesEveryFileUnrepaired) {
  Select({Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods"),
          Fixture("tests/interop/fixtures/unicode_text.ods", L"b.ods")});
  // The worker waits for its first call to the window until the test pumps messages, so the
  // Stop below comes before it looks at its first file.
  h_.Press(ID_TARVIK_BTN_RECOVER_FILES);
  h_.dialogs().Answer(IDYES);
  h_.Press(ID_TARVIK_BTN_STOP);
  const auto boxes = h_.dialogs().boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().text, L"Are you sure to stop the running process?");
  EXPECT_EQ(boxes.back().flags, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_FALSE(Enabled(h_.view().Child(ID_TARVIK_BTN_STOP)));
  EXPECT_EQ(h_.frame().job_running().load(), 0);
  ASSERT_TRUE(h_.WaitIdle());
  ExpectState(h_, kRepaired);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(list().ItemImage(i), kImageNotRepaired) << i;
    EXPECT_EQ(list().ItemData(i), 0) << i;
  }
}

TEST_F(WindowWorkflowTest, StopAnsweredNoLetsTheRunFinish) {
  Select({Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods")});
  h_.Press(ID_TARVIK_BTN_RECOVER_FILES);
  h_.dialogs().Answer(IDNO);
  h_.Press(ID_TARVIK_BTN_STOP);
  EXPECT_TRUE(Enabled(h_.view().Child(ID_TARVIK_BTN_STOP)));
  EXPECT_EQ(h_.frame().job_running().load(), 1);
  ASSERT_TRUE(h_.WaitIdle());
  EXPECT_EQ(list().ItemImage(0), kImageRepaired);
  EXPECT_EQ(list().ItemData(0), 1);
}

TEST_F(WindowWorkflowTest, CloseRefusedWhileAJobRunsAndConfirmedOtherwise) {
  Select({Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods")});
  h_.Press(ID_TARVIK_BTN_RECOVER_FILES);
  h_.dialogs().ClearBoxes();
  SendMessageW(h_.frame().hwnd(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(h_.alive());
  ASSERT_EQ(h_.dialogs().boxes().size(), 1u);
  EXPECT_EQ(h_.dialogs().boxes()[0].text,
            L"Please stop the running process before closing the application.");
  ASSERT_TRUE(h_.WaitIdle());
  EXPECT_TRUE(IsDir(h_.work()));

  // The Exit button and the menu's Exit ask as the close box does; No keeps the window.
  h_.dialogs().ClearBoxes();
  h_.Click(ID_TARVIK_BTN_EXIT);
  h_.Command(ID_APP_EXIT);
  ASSERT_TRUE(h_.alive());
  ASSERT_EQ(h_.dialogs().boxes().size(), 2u);
  for (const auto& box : h_.dialogs().boxes()) {
    EXPECT_EQ(box.text, L"Do you really want to exit?");
    EXPECT_EQ(box.flags, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
  }
  h_.dialogs().Answer(IDYES);
  SendMessageW(h_.frame().hwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(h_.alive());
  EXPECT_FALSE(IsDir(h_.work())) << "the working folder goes with the window";
}

TEST_F(WindowWorkflowTest, RemoveKeepsTheResultsOfTheItemsAfterTheRemovedOne) {
  const std::wstring a = Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods");
  const std::wstring b = Fixture("tests/interop/fixtures/pictures.ods", L"b.ods");
  const std::wstring c = Fixture("tests/interop/fixtures/formulas_sheets.ods", L"c.ods");
  Select({a, b, c});
  RepairAndWait();
  // Remove the first item: b and c move up a place and keep their folders.
  ListView_SetItemState(list().hwnd(), 0, LVIS_SELECTED, LVIS_SELECTED);
  h_.Click(ID_TARVIK_BTN_REMOVE_FILES);
  ASSERT_EQ(list().Count(), 2);
  EXPECT_EQ(list().ItemText(0), b);
  EXPECT_EQ(list().ItemData(0), 1);
  EXPECT_EQ(list().ItemImage(1), kImageRepaired);
  EXPECT_FALSE(IsDir(h_.work() + L"\\a.ods0"));
  EXPECT_TRUE(IsDir(h_.work() + L"\\b.ods0"));
  EXPECT_TRUE(IsDir(h_.work() + L"\\c.ods1"));
  EXPECT_FALSE(IsDir(h_.work() + L"\\c.ods2"));
  EXPECT_EQ(h_.view().preview().code(), kPreviewSelectFile);
  // b's picture is still found at its new place.
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 0, 0);
  EXPECT_TRUE(h_.view().preview().has_picture());

  // Saving packs every remaining item from its folder.
  TempDir out;
  h_.view().destination().ApplyText(out.path());
  h_.Click(ID_TARVIK_BTN_SAVE_FILES);
  ASSERT_TRUE(h_.WaitIdle());
  for (const wchar_t* name : {L"VONDRELREP_b.ods", L"VONDRELREP_c.ods"}) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW((out / name).c_str(), GetFileExInfoStandard, &data)) << name;
    EXPECT_GT(data.nFileSizeLow, 1000u) << name << " holds the repaired entries";
  }
  EXPECT_FALSE(Exists(out / L"VONDRELREP_a.ods"));
}

TEST_F(WindowWorkflowTest, RemovingTheLastItemEmptiesTheListAndTheWorkingFolder) {
  Select({Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods")});
  RepairAndWait();
  h_.view().destination().ApplyText(h_.temp().path());
  // With nothing selected Remove only says so.
  h_.dialogs().ClearBoxes();
  h_.Click(ID_TARVIK_BTN_REMOVE_FILES);
  ASSERT_EQ(h_.dialogs().boxes().size(), 1u);
  EXPECT_EQ(h_.dialogs().boxes()[0].text, L"No file(s) selected to remove.");
  EXPECT_EQ(list().Count(), 1);

  ListView_SetItemState(list().hwnd(), 0, LVIS_SELECTED, LVIS_SELECTED);
  h_.Click(ID_TARVIK_BTN_REMOVE_FILES);
  EXPECT_EQ(list().Count(), 0);
  ExpectState(h_, kEmptied);
  EXPECT_FALSE(IsDir(h_.work()));
  EXPECT_EQ(h_.view().Destination(), L"");
  EXPECT_EQ(h_.view().preview().code(), kPreviewNoFiles);
  EXPECT_EQ(LogText(h_), kLogStart);
  EXPECT_EQ(SendMessageW(h_.view().Child(ID_CHECK_BTN_EXTRACT_FILE_CONTENT), BM_GETCHECK, 0, 0),
            BST_CHECKED);
}

TEST_F(WindowWorkflowTest, SelectRefusesANameAlreadyListedInAnyCase) {
  const std::wstring a = Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods");
  Select({a});
  std::wstring upper = a;
  for (wchar_t& ch : upper) ch = static_cast<wchar_t>(towupper(ch));
  h_.dialogs().ClearBoxes();
  Select({upper});
  EXPECT_EQ(list().Count(), 1);
  ASSERT_EQ(h_.dialogs().boxes().size(), 1u);
  EXPECT_EQ(h_.dialogs().boxes()[0].text, upper + L"already exist in the list.");
  EXPECT_EQ(h_.dialogs().boxes()[0].flags, static_cast<unsigned>(MB_ICONINFORMATION));

  // Select after a repair run starts a fresh list; a cancelled dialog changes nothing.
  RepairAndWait();
  Select({});
  EXPECT_EQ(list().Count(), 1);
  EXPECT_TRUE(IsDir(h_.work()));
  const std::wstring b = Fixture("tests/interop/fixtures/pictures.ods", L"b.ods");
  Select({b});
  ASSERT_EQ(list().Count(), 1);
  EXPECT_EQ(list().ItemText(0), b);
  EXPECT_FALSE(IsDir(h_.work()));
  EXPECT_FALSE(h_.view().m_bRepairRan);
  // Save and its companions stay as the repair left them.
  EXPECT_TRUE(Enabled(h_.view().Child(ID_TARVIK_BTN_SAVE_FILES)));
}

// An HDROP as the shell hands it over: DROPFILES followed by the wide names.
HGLOBAL MakeDrop(const std::vector<std::wstring>& names) {
  size_t chars = 1;
  for (const auto& n : names) chars += n.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  auto* p = reinterpret_cast<wchar_t*>(drop + 1);
  for (const auto& n : names) {
    n.copy(p, n.size());
    p += n.size() + 1;
  }
  GlobalUnlock(memory);
  return memory;
}

TEST_F(WindowWorkflowTest, ADropAddsFilesAsSelectDoes) {
  const std::wstring a = Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods");
  const std::wstring b = Fixture("tests/interop/fixtures/pictures.ods", L"B.ODS");
  const std::wstring text = Fixture("tests/interop/fixtures/numbers_text.ods", L"notes.txt");
  SendMessageW(h_.view().hwnd(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({L" " + a + L" ", b, text})), 0);
  ASSERT_EQ(list().Count(), 2);
  EXPECT_EQ(list().ItemText(0), a);
  EXPECT_EQ(list().ItemText(1), b);
  ExpectState(h_, kAdded);
  EXPECT_EQ(LogText(h_), kLogFilesAdded);
  EXPECT_EQ(h_.view().preview().code(), kPreviewFilesAdded);

  // A name already listed is refused with Select's message.
  h_.dialogs().ClearBoxes();
  SendMessageW(h_.view().hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({a})), 0);
  EXPECT_EQ(list().Count(), 2);
  ASSERT_EQ(h_.dialogs().boxes().size(), 1u);
  EXPECT_EQ(h_.dialogs().boxes()[0].text, a + L"already exist in the list.");

  // The dropped files repair like selected ones.
  RepairAndWait();
  EXPECT_EQ(list().ItemData(0), 1);
  EXPECT_EQ(list().ItemData(1), 1);
}

TEST_F(WindowWorkflowTest, ADropWhileAJobRunsIsIgnored) {
  const std::wstring a = Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods");
  Select({a});
  h_.Press(ID_TARVIK_BTN_RECOVER_FILES);
  const std::wstring b = Fixture("tests/interop/fixtures/pictures.ods", L"b.ods");
  SendMessageW(h_.view().hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({b})), 0);
  ASSERT_TRUE(h_.WaitIdle());
  EXPECT_EQ(list().Count(), 1);
}

TEST_F(WindowWorkflowTest, MenuCommandsFollowTheViewFlags) {
  const HMENU file = GetSubMenu(GetMenu(h_.frame().hwnd()), 0);
  auto enabled = [&](int id) {
    SendMessageW(h_.frame().hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    return (GetMenuState(file, static_cast<UINT>(id), MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) ==
           0;
  };
  EXPECT_TRUE(enabled(ID_SELECT_FILES));
  EXPECT_FALSE(enabled(ID_REMOVE_FILES));
  EXPECT_FALSE(enabled(ID_REPAIR_FILES));
  EXPECT_FALSE(enabled(ID_BROWSE_FOLDER));
  EXPECT_FALSE(enabled(ID_SAVE_FILES));
  EXPECT_TRUE(enabled(ID_APP_EXIT));
  // Ctrl+O reaches Select through the accelerator's command.
  h_.dialogs().Open({Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods")});
  h_.Command(ID_FILE_OPEN);
  EXPECT_EQ(list().Count(), 1);
  EXPECT_TRUE(enabled(ID_REMOVE_FILES));
  EXPECT_TRUE(enabled(ID_REPAIR_FILES));
  // Ctrl+S does nothing until a repair allowed saving.
  h_.dialogs().ClearBoxes();
  h_.Command(ID_FILE_SAVE);
  EXPECT_TRUE(h_.dialogs().boxes().empty());
  EXPECT_FALSE(h_.frame().worker().Joinable());
}

// The preview pane drawn into a picture of its size: the share, in hundredths, of pixels of
// `colour` in `rows` rows from `top` (counted from the bottom when negative).
int ShareOf(CPictureBox& pane, COLORREF colour, int top, int rows) {
  RECT client{};
  GetClientRect(pane.hwnd(), &client);
  winfw::DibSurface picture(client.right, client.bottom);
  SendMessageW(pane.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(picture.dc()), PRF_CLIENT);
  GdiFlush();
  const int from = top < 0 ? client.bottom + top : top;
  int hits = 0, all = 0;
  for (int y = std::max(from, 0); y < std::min(from + rows, static_cast<int>(client.bottom)); ++y) {
    for (int x = 0; x < client.right; ++x, ++all) {
      const DWORD p = picture.bits()[static_cast<size_t>(y) * client.right + x];
      hits += RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF) == colour;
    }
  }
  return all == 0 ? 0 : hits * 100 / all;
}

bool Append(const std::wstring& from, const std::wstring& to) {
  FILE* in = _wfopen(from.c_str(), L"rb");
  FILE* out = _wfopen(to.c_str(), L"ab");
  bool ok = in != nullptr && out != nullptr;
  char buffer[65536];
  for (size_t n; ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0;)
    ok = fwrite(buffer, 1, n, out) == n;
  if (in != nullptr) fclose(in);
  if (out != nullptr) fclose(out);
  return ok;
}

// Two spreadsheets joined into one file come back as two documents; the preview pane then
// says so in a band under the first one's picture (or under the no-picture hint), and a file
// of one document has no such band.
TEST_F(WindowWorkflowTest, ThePreviewOfAFileOfSeveralDocumentsSaysSo) {
  const std::wstring single = Fixture("tests/interop/fixtures/numbers_text.ods", L"single.ods");
  const std::wstring joined = Fixture("tests/interop/fixtures/pictures.ods", L"joined.ods");
  ASSERT_TRUE(Append(SourceFile("tests/interop/fixtures/numbers_text.ods"), joined));
  Select({single, joined});
  RepairAndWait();
  ASSERT_TRUE(IsDir(h_.work() + L"\\joined.ods1~2"));
  CPictureBox& pane = h_.view().preview();
  const COLORREF band = GetSysColor(COLOR_INFOBK);
  const COLORREF words = GetSysColor(COLOR_INFOTEXT);

  // The note's band is at least a line of text high: the lowest 12 rows are in it. The
  // single file's verdict is taken away, so that only a documents' note could make a band.
  h_.view().SetFileVerdict(0, {});
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 0, 0);
  ASSERT_TRUE(pane.has_picture());
  EXPECT_EQ(pane.code(), kPreviewBlank);
  EXPECT_LT(ShareOf(pane, band, -12, 12), 20) << "one document: no note";

  SendMessageW(h_.view().hwnd(), kPreviewRequest, 1, 0);
  ASSERT_TRUE(pane.has_picture());
  EXPECT_EQ(pane.code(), kPreviewSeveralDocuments);
  EXPECT_GT(ShareOf(pane, band, -12, 12), 50) << "the note's band under the picture";
  EXPECT_GT(ShareOf(pane, words, -40, 40), 0) << "the note's words in it";
  EXPECT_LT(ShareOf(pane, band, 0, 12), 20) << "the picture above it";

  // Without a picture: the no-picture hint at the top, the note at the bottom.
  pane.SetPicture(L"", kPreviewSeveralDocuments);
  EXPECT_FALSE(pane.has_picture());
  EXPECT_GT(ShareOf(pane, band, -12, 12), 50);
  EXPECT_GT(ShareOf(pane, GetSysColor(COLOR_BTNTEXT), 18, 30), 0) << "the hint's words";
  h_.view().ShowPreview(L"", kPreviewBlank);
}

// Help looks for Velmora.chm beside the program; without it the user is told to install the
// program again, and nothing else happens. (The test program's folder holds no help file:
// the build writes it beside Velmora.exe.)
TEST_F(WindowWorkflowTest, HelpWithoutItsFileAsksForAReinstall) {
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring beside(module);
  beside.erase(beside.find_last_of(L'\\') + 1);
  if (Exists(beside + L"Velmora.chm")) GTEST_SKIP() << "a help file lies beside the test program";
  const HMENU help = GetSubMenu(GetMenu(h_.frame().hwnd()), 1);
  SendMessageW(h_.frame().hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(help), 1);
  EXPECT_EQ(GetMenuState(help, ID_SOFTWARE_HELP, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED), 0u);
  h_.dialogs().ClearBoxes();
  h_.Command(ID_SOFTWARE_HELP);
  const auto boxes = h_.dialogs().boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Velmora help file not found, please re-install the software. ");
  EXPECT_EQ(boxes[0].flags, static_cast<unsigned>(MB_ICONINFORMATION));
  EXPECT_TRUE(boxes[0].owned) << "the box belongs to the window";
  EXPECT_TRUE(h_.alive());
}

// A file that held two documents has a second folder ("~2"): Remove moves and deletes every
// folder of an item, so the save still writes both packages of the file that moved up, and
// none of the removed file's folders is left for a later item to find.
TEST_F(WindowWorkflowTest, RemoveMovesAndDeletesEveryDocumentFolderOfAnItem) {
  const std::wstring a = Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods");
  const std::wstring joined = Fixture("tests/interop/fixtures/pictures.ods", L"joined.ods");
  ASSERT_TRUE(Append(SourceFile("tests/interop/fixtures/numbers_text.ods"), joined));
  const std::wstring twice = Fixture("tests/interop/fixtures/pictures.ods", L"twice.ods");
  ASSERT_TRUE(Append(SourceFile("tests/interop/fixtures/numbers_text.ods"), twice));
  Select({a, joined, twice});
  RepairAndWait();
  ASSERT_TRUE(IsDir(h_.work() + L"\\joined.ods1~2"));
  ASSERT_TRUE(IsDir(h_.work() + L"\\twice.ods2~2"));

  // a goes: joined moves up with both folders.
  ListView_SetItemState(list().hwnd(), 0, LVIS_SELECTED, LVIS_SELECTED);
  h_.Click(ID_TARVIK_BTN_REMOVE_FILES);
  ASSERT_EQ(list().Count(), 2);
  EXPECT_TRUE(IsDir(h_.work() + L"\\joined.ods0"));
  EXPECT_TRUE(IsDir(h_.work() + L"\\joined.ods0~2"));
  EXPECT_FALSE(IsDir(h_.work() + L"\\joined.ods1~2"));
  EXPECT_TRUE(IsDir(h_.work() + L"\\twice.ods1~2"));

  // joined goes: none of its folders stays behind.
  ListView_SetItemState(list().hwnd(), 0, LVIS_SELECTED, LVIS_SELECTED);
  h_.Click(ID_TARVIK_BTN_REMOVE_FILES);
  ASSERT_EQ(list().Count(), 1);
  EXPECT_FALSE(IsDir(h_.work() + L"\\joined.ods0"));
  EXPECT_FALSE(IsDir(h_.work() + L"\\joined.ods0~2"));
  EXPECT_TRUE(IsDir(h_.work() + L"\\twice.ods0"));
  EXPECT_TRUE(IsDir(h_.work() + L"\\twice.ods0~2"));

  // Both packages of the file that moved up are written.
  TempDir out;
  h_.view().destination().ApplyText(out.path());
  h_.Click(ID_TARVIK_BTN_SAVE_FILES);
  ASSERT_TRUE(h_.WaitIdle());
  EXPECT_TRUE(Exists(out / L"VONDRELREP_twice.ods"));
  EXPECT_TRUE(Exists(out / L"VONDRELREP_twice.ods~2.ods"));
}

// "End task" (a WM_CLOSE) while the save's final box is open, answered Yes: the window closes
// once the job has ended, instead of waiting for that box from inside it and refusing every
// later close.
TEST_F(WindowWorkflowTest, ACloseConfirmedDuringTheFinalBoxClosesWhenTheJobEnds) {
  Select({Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods")});
  RepairAndWait();
  TempDir out;
  h_.view().destination().ApplyText(out.path());
  const HWND frame = h_.frame().hwnd();
  bool alive_after_close = false;
  h_.dialogs().Answer(IDYES);  // to the exit question, asked while the final box is open
  h_.dialogs().OnNextBox([&] {
    SendMessageW(frame, WM_CLOSE, 0, 0);
    // A second request while the first is pending asks nothing more.
    SendMessageW(frame, WM_CLOSE, 0, 0);
    alive_after_close = IsWindow(frame) != FALSE;
  });
  h_.dialogs().ClearBoxes();
  h_.Press(ID_TARVIK_BTN_SAVE_FILES);
  EXPECT_TRUE(Pump([&] { return !h_.alive(); }, 60000)) << "the window closed";
  EXPECT_TRUE(alive_after_close) << "not while the box was open";
  const auto boxes = h_.dialogs().boxes();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_NE(boxes[0].text.find(L"<a href="), std::wstring::npos) << "the final box first";
  EXPECT_EQ(boxes[1].text, L"Do you really want to exit?");
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(Exists(out / L"VONDRELREP_a.ods"));
  EXPECT_FALSE(IsDir(h_.work()));
}

// Line `line` of the log, without its line break.
std::wstring LogLine(HWND log, int line) {
  std::vector<wchar_t> buffer(1024);
  *reinterpret_cast<WORD*>(buffer.data()) = static_cast<WORD>(buffer.size() - 1);
  const auto n = static_cast<size_t>(
      SendMessageW(log, EM_GETLINE, line, reinterpret_cast<LPARAM>(buffer.data())));
  std::wstring text(buffer.data(), n);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
  return text;
}

// A file that vanished after it was listed: the batch goes on without a box, the log names the
// file in red with the system's reason and its separator, and the item is marked not repaired.
TEST_F(WindowWorkflowTest, AVanishedFileIsLoggedInRedAndTheBatchGoesOn) {
  const std::wstring gone = Fixture("tests/interop/fixtures/numbers_text.ods", L"gone.ods");
  const std::wstring b = Fixture("tests/interop/fixtures/pictures.ods", L"b.ods");
  Select({gone, b});
  ASSERT_TRUE(DeleteFileW(gone.c_str()));
  h_.dialogs().ClearBoxes();
  RepairAndWait();
  EXPECT_TRUE(h_.dialogs().boxes().empty()) << "no box holds the batch";
  EXPECT_EQ(list().ItemImage(0), kImageNotRepaired);
  EXPECT_EQ(list().ItemData(0), 0);
  EXPECT_EQ(list().ItemImage(1), kImageRepaired);
  // The line, its colour and the separator line after it.
  const HWND log = h_.view().log();
  const int lines = static_cast<int>(SendMessageW(log, EM_GETLINECOUNT, 0, 0));
  int line = 0;
  while (line < lines && LogLine(log, line).find(gone + L" extraction of file failed: ") != 0) {
    ++line;
  }
  ASSERT_LT(line, lines) << std::string(LogText(h_).begin(), LogText(h_).end());
  const std::wstring failed = LogLine(log, line);
  const size_t reason = gone.size() + std::wstring(L" extraction of file failed: ").size();
  ASSERT_GT(failed.size(), reason + 4);
  EXPECT_EQ(failed.substr(failed.size() - 4), L"....");
  EXPECT_NE(failed[reason], L'.') << "a reason follows the colon";
  const auto start = static_cast<LONG>(SendMessageW(log, EM_LINEINDEX, line, 0));
  CHARRANGE range{start, start + 1};
  SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  SendMessageW(log, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  EXPECT_EQ(format.crTextColor, static_cast<COLORREF>(kRed));
  EXPECT_EQ(LogLine(log, line + 1).substr(0, 5), L"*****") << "the separator line";
  EXPECT_TRUE(LogHas(h_, b + L"  Repaired....\r\n"));
}

// Files handed over by a second start of the program (WM_COPYDATA to the frame) are added as
// Select adds them; while a job runs they are refused with a box and the list stays.
TEST_F(WindowWorkflowTest, FilesHandedOverBySecondStartAreAddedAndRefusedDuringAJob) {
  const std::wstring a = Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods");
  const std::wstring b = Fixture("tests/interop/fixtures/pictures.ods", L"b.ods");
  auto hand = [&](const std::vector<std::wstring>& files) {
    std::wstring data;
    for (const auto& f : files) data += f + L'\0';
    COPYDATASTRUCT copy{kCopyDataFiles, static_cast<DWORD>(data.size() * sizeof(wchar_t)),
                        data.data()};
    const LRESULT taken =
        SendMessageW(h_.frame().hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
    PumpPending();
    return taken;
  };
  EXPECT_EQ(hand({a, b}), TRUE);
  ASSERT_EQ(list().Count(), 2);
  EXPECT_EQ(list().ItemText(0), a);
  EXPECT_EQ(list().ItemText(1), b);
  ExpectState(h_, kAdded);

  // Data of another kind is not taken.
  COPYDATASTRUCT other{1, 4, const_cast<wchar_t*>(L"x\0")};
  EXPECT_EQ(SendMessageW(h_.frame().hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&other)),
            FALSE);

  const std::wstring c = Fixture("tests/interop/fixtures/formulas_sheets.ods", L"c.ods");
  h_.Press(ID_TARVIK_BTN_RECOVER_FILES);
  h_.dialogs().ClearBoxes();
  EXPECT_EQ(hand({c}), TRUE);
  ASSERT_EQ(h_.dialogs().boxes().size(), 1u);
  EXPECT_EQ(h_.dialogs().boxes()[0].text, kHandedFilesRefused);
  EXPECT_TRUE(h_.dialogs().boxes()[0].owned);
  ASSERT_TRUE(h_.WaitIdle());
  EXPECT_EQ(list().Count(), 2);
}

}  // namespace
}  // namespace velmora::ui::test
