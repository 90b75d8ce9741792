// The main window as an automation tool sees it: every control a child window with its id,
// class and text; the layout at two sizes and with the progress rows; the frame's title,
// minimum size and status-bar texts.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <richedit.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/gui_harness.h"
#include "ui/app/visual_style.h"
#include "ui/resource_ids.h"
#include "winfw/controls.h"

namespace velmora::ui::test {
namespace {

struct ControlRow {
  int id;
  const wchar_t* cls;
  const wchar_t* text;
  bool visible;
};

// Window texts read as an outside tool reads them (WM_GETTEXT); the destination field gives
// the empty text while it shows its prompt.
const ControlRow kControls[] = {
    {ID_TARVIK_LIST_CTRL, L"SysListView32", L"", true},
    {ID_TARVIK_BTN_SELECT_FILES, L"Button", L"Select files", true},
    {ID_TARVIK_BTN_REMOVE_FILES, L"Button", L"Remove files", true},
    {ID_TARVIK_BTN_RECOVER_FILES, L"Button", L"Repair files", true},
    {ID_TARVIK_BTN_SAVE_FILES, L"Button", L"Save...", true},
    {ID_TARVIK_BTN_STOP, L"Button", L"Stop", false},
    {ID_TARVIK_BTN_EXIT, L"Button", L"Exit", true},
    {ID_TARVIK_BTN_BROWSE, L"Button", L"...", true},
    {IDC_TARVIK_STATIC_PICTURE_CTRL, L"Static", L"", true},
    {ID_TARVIK_EDIT_CTRL, L"RichEdit20W",
     L"Click Select files to select .ods file(s) to repair....", true},
    {ID_TARVIK_BROWSE_EDIT_CTRL, L"Edit", L"", true},
    {ID_TARVIK_SCAN_LIST_CTRL, L"SysListView32", L"", false},
    {ID_CHECK_BTN_EXTRACT_FILE_CONTENT, L"Button", L"Extract Media..", true},
    {ID_FIRST_PROGRESS_CTRL, L"msctls_progress32", L"", false},
    {ID_SECOND_PROGRESS_CTRL, L"msctls_progress32", L"", false},
};

TEST(WindowControls, EveryControlIsAChildWithItsIdClassAndText) {
  GuiHarness h;
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(testing::Message() << "id " << row.id);
    const HWND hwnd = h.view().Child(row.id);
    ASSERT_NE(hwnd, nullptr);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    EXPECT_EQ(_wcsicmp(cls, row.cls), 0) << std::wstring(cls);
    EXPECT_EQ(Text(hwnd), row.text);
    EXPECT_EQ(Visible(hwnd), row.visible);
  }
  // The four labels share id 9.
  std::vector<std::wstring> labels;
  for (HWND c = GetWindow(h.view().hwnd(), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
    if (GetDlgCtrlID(c) == IDC_TARVIK_STATIC) labels.push_back(Text(c));
  EXPECT_EQ(labels, (std::vector<std::wstring>{L"Please select location to save repaired file(s):",
                                               L"File preview:", L"File progress:",
                                               L"Total files progress:"}));
  // WM_GETTEXT gives the rich edit's line break as "\r\n".
  EXPECT_EQ(Text(h.view().help_box()),
            L"Click Select files to select .ods file(s) to repair.\r\nClick Repair files to see "
            L"the preview of the .ods file(s).");
  // Bold exactly on "Select files", "file", "Repair files" and "file".
  auto bold = [&](int begin, int end) {
    CHARRANGE range{begin, end};
    SendMessageW(h.view().help_box(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATW format{};
    format.cbSize = sizeof format;
    SendMessageW(h.view().help_box(), EM_GETCHARFORMAT, SCF_SELECTION,
                 reinterpret_cast<LPARAM>(&format));
    return (format.dwMask & CFM_BOLD) != 0 && (format.dwEffects & CFE_BOLD) != 0;
  };
  for (const BoldRange& r : std::vector<BoldRange>{{6, 18}, {29, 33}, {59, 72}, {99, 103}})
    EXPECT_TRUE(bold(r.begin, r.end)) << r.begin;
  EXPECT_FALSE(bold(0, 5));
  EXPECT_FALSE(bold(19, 28));
  EXPECT_EQ(GetDlgCtrlID(h.view().help_box()), ID_TARVIK_RICH_EDIT_CTRL);
  EXPECT_EQ(SendMessageW(h.view().Child(ID_CHECK_BTN_EXTRACT_FILE_CONTENT), BM_GETCHECK, 0, 0),
            BST_CHECKED);

  // The frame: its title, the logo, the status bar's message pane.
  EXPECT_EQ(Text(h.frame().hwnd()), L"Velmora - v1.0");
  EXPECT_EQ(GetDlgCtrlID(h.frame().logo()), ID_LOGO_NC_BUTTON);
  EXPECT_EQ(Text(h.frame().logo()), L"Velmora");
  EXPECT_EQ(h.frame().bars().StatusText(), L"Velmora");
  EXPECT_EQ(SendMessageW(h.frame().bars().status_bar(), SB_GETPARTS, 0, 0), 4);
  EXPECT_EQ(SendMessageW(h.frame().bars().toolbar(), TB_BUTTONCOUNT, 0, 0), 9)
      << "seven commands and two separators";
}

RECT Rect(int x, int y, int w, int h) {
  return RECT{x, y, x + w, y + h};
}

void ExpectAt(HWND hwnd, const RECT& want, const char* what) {
  const RECT got = winfw::ChildRect(hwnd);
  EXPECT_TRUE(EqualRect(&got, &want))
      << what << ": (" << got.left << ", " << got.top << ", " << got.right - got.left << ", "
      << got.bottom - got.top << ") instead of (" << want.left << ", " << want.top << ", "
      << want.right - want.left << ", " << want.bottom - want.top << ")";
}

struct LayoutCase {
  int w, h;
  RECT list, preview, destination, browse, check, stop, exit, help, log;
};

TEST(WindowLayout, ControlsFollowTheClientSize) {
  GuiHarness h;
  CVelmoraView& v = h.view();
  // half = h / 2: 350 and 280.
  const LayoutCase cases[] = {
      {1000, 700, Rect(10, 113, 770, 262), Rect(790, 113, 200, 262), Rect(305, 382, 415, 22),
       Rect(725, 380, 50, 26), Rect(855, 380, 135, 26), Rect(870, 660, 60, 30),
       Rect(935, 660, 55, 30), Rect(75, 650, 310, 45), Rect(10, 411, 980, 219)},
      {800, 561, Rect(10, 113, 570, 192), Rect(590, 113, 200, 192), Rect(305, 312, 215, 22),
       Rect(525, 310, 50, 26), Rect(655, 310, 135, 26), Rect(670, 521, 60, 30),
       Rect(735, 521, 55, 30), Rect(75, 511, 310, 45), Rect(10, 341, 780, 150)},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    MoveWindow(v.hwnd(), 0, 0, c.w, c.h, TRUE);
    ExpectAt(v.Child(ID_TARVIK_BTN_SELECT_FILES), Rect(10, 80, 100, 28), "select");
    ExpectAt(v.Child(ID_TARVIK_BTN_RECOVER_FILES), Rect(220, 80, 100, 28), "repair");
    ExpectAt(v.preview_label(), Rect(c.w - 210, 95, 90, 16), "preview label");
    ExpectAt(v.file_list().hwnd(), c.list, "list");
    ExpectAt(v.preview().hwnd(), c.preview, "preview");
    ExpectAt(v.save_label(), Rect(10, c.h / 2 + 30, 290, 26), "save label");
    ExpectAt(v.destination().hwnd(), c.destination, "destination");
    ExpectAt(v.Child(ID_TARVIK_BTN_BROWSE), c.browse, "browse");
    ExpectAt(v.Child(ID_CHECK_BTN_EXTRACT_FILE_CONTENT), c.check, "check box");
    ExpectAt(v.Child(ID_TARVIK_BTN_STOP), c.stop, "stop");
    ExpectAt(v.Child(ID_TARVIK_BTN_EXIT), c.exit, "exit");
    ExpectAt(v.help_box(), c.help, "help box");
    ExpectAt(v.log(), c.log, "log");
  }

  // Progress rows: both (a repair) and the total alone (a save) at 1000 x 700.
  MoveWindow(v.hwnd(), 0, 0, 1000, 700, TRUE);
  for (HWND row : {v.file_label(), v.file_bar(), v.total_label(), v.total_bar()})
    ShowWindow(row, SW_SHOW);
  v.Relayout();
  ExpectAt(v.log(), Rect(10, 411, 980, 182), "log above both rows");
  ExpectAt(v.file_label(), Rect(10, 598, 150, 18), "file label");
  ExpectAt(v.file_bar(), Rect(165, 598, 825, 13), "file bar");
  ExpectAt(v.total_label(), Rect(10, 621, 150, 18), "total label");
  ExpectAt(v.total_bar(), Rect(165, 621, 825, 13), "total bar");
  ShowWindow(v.file_label(), SW_HIDE);
  ShowWindow(v.file_bar(), SW_HIDE);
  v.Relayout();
  ExpectAt(v.log(), Rect(10, 411, 980, 199), "log above the total row");
  ExpectAt(v.total_label(), Rect(10, 615, 150, 18), "total label alone");
}

TEST(WindowLayout, TheFrameKeepsItsMinimumSize) {
  GuiHarness h;
  MINMAXINFO info{};
  SendMessageW(h.frame().hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 700);
  EXPECT_EQ(info.ptMinTrackSize.y, 500);
  // At the minimum the view still fits its rows: the destination field keeps a width.
  SetWindowPos(h.frame().hwnd(), nullptr, 0, 0, 700, 500, SWP_NOZORDER);
  const RECT field = winfw::ChildRect(h.view().destination().hwnd());
  EXPECT_GT(field.right - field.left, 0);
}

TEST(WindowStatusBar, HoverTextsGoToTheMessagePane) {
  GuiHarness h;
  struct Case {
    HWND over;
    const wchar_t* text;
  };
  const Case cases[] = {{h.view().Child(ID_TARVIK_BTN_BROWSE), L"..."},
                        {h.view().Child(ID_TARVIK_BTN_SAVE_FILES), L"Save..."},
                        {h.view().Child(ID_TARVIK_BTN_SELECT_FILES), L"Select files"}};
  for (const Case& c : cases) {
    MSG msg{c.over, WM_MOUSEMOVE, 0, 0, 0, {0, 0}};
    h.view().PreTranslateMessage(msg);
    EXPECT_EQ(h.frame().bars().StatusText(), c.text);
  }
  // Tab walks the controls that take the focus.
  SetFocus(h.view().Child(ID_TARVIK_BTN_SELECT_FILES));
  MSG tab{h.view().Child(ID_TARVIK_BTN_SELECT_FILES), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  EXPECT_TRUE(h.view().PreTranslateMessage(tab));
  EXPECT_NE(GetFocus(), h.view().Child(ID_TARVIK_BTN_SELECT_FILES));
  EXPECT_TRUE(IsChild(h.view().hwnd(), GetFocus()));
  // The hidden entry list writes nothing.
  MSG hidden{h.view().entry_list(), WM_MOUSEMOVE, 0, 0, 0, {0, 0}};
  h.view().PreTranslateMessage(hidden);
  EXPECT_EQ(h.frame().bars().StatusText(), L"Select files");
  // Menu prompts: the text before the line break of the command's string.
  SendMessageW(h.frame().hwnd(), WM_MENUSELECT, MAKEWPARAM(ID_REPAIR_FILES, MF_STRING),
               reinterpret_cast<LPARAM>(GetMenu(h.frame().hwnd())));
  EXPECT_EQ(h.frame().bars().StatusText(), L"Repair .ods file(s)");
  EXPECT_EQ(FrameBars::CommandTip(ID_BROWSE_FOLDER), L" Browse Folder");
}

TEST(WindowLooks, TheLookIsAppliedAndKeptInTheSettings) {
  const DWORD before = CMainFrame::settings().ReadDword(L"ApplicationLook", 215);
  {
    GuiHarness h;
    EXPECT_EQ(h.frame().look(), before);
    h.Command(216);
    EXPECT_EQ(h.frame().look(), 216u);
    EXPECT_EQ(CMainFrame::settings().ReadDword(L"ApplicationLook", 0), 216u);
    EXPECT_EQ(SendMessageW(h.frame().bars().status_bar(), SB_SETBKCOLOR, 0, CLR_DEFAULT),
              static_cast<LRESULT>(ColoursOf(216).status_back));
  }
  {
    GuiHarness again;  // a new frame starts with the stored look
    EXPECT_EQ(again.frame().look(), 216u);
    again.Command(static_cast<int>(before));
  }
  EXPECT_EQ(CMainFrame::settings().ReadDword(L"ApplicationLook", 0), before);
}

TEST(WindowLooks, CustomizeShowsHidesAndResetsToolbarButtons) {
  GuiHarness h;
  h.Command(ID_VIEW_CUSTOMIZE);
  const HWND dialog = h.frame().customize_dialog();
  ASSERT_NE(dialog, nullptr);
  const HWND toolbar = h.frame().bars().toolbar();
  // The third box is "Repair file(s)".
  const HWND repair = GetDlgItem(dialog, 1002);
  EXPECT_EQ(Text(repair), L"Repair file(s)");
  EXPECT_EQ(SendMessageW(repair, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageW(repair, BM_CLICK, 0, 0);
  EXPECT_NE(SendMessageW(toolbar, TB_ISBUTTONHIDDEN, ID_REPAIR_FILES, 0), 0);
  SendMessageW(GetDlgItem(dialog, 990), BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(toolbar, TB_ISBUTTONHIDDEN, ID_REPAIR_FILES, 0), 0);
  EXPECT_EQ(SendMessageW(repair, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(h.frame().customize_dialog(), nullptr);
}

// A key as a menu writes it after the tab ("Ctrl+N", "F1", "Shift+Del") as an accelerator
// entry's modifier bits and virtual key; false for a text it does not know.
bool ParseKeyText(std::wstring text, BYTE& mods, WORD& key) {
  mods = 0;
  const std::pair<const wchar_t*, BYTE> prefixes[] = {
      {L"Ctrl+", FCONTROL}, {L"Shift+", FSHIFT}, {L"Alt+", FALT}};
  for (bool found = true; found;) {
    found = false;
    for (const auto& [prefix, bit] : prefixes) {
      const std::wstring p(prefix);
      if (text.compare(0, p.size(), p) == 0) {
        mods |= bit;
        text.erase(0, p.size());
        found = true;
      }
    }
  }
  if (text.size() == 1 && iswalnum(text[0])) {
    key = static_cast<WORD>(towupper(text[0]));
    return true;
  }
  if (text.size() >= 2 && text[0] == L'F' && iswdigit(text[1])) {
    key = static_cast<WORD>(VK_F1 + _wtoi(text.c_str() + 1) - 1);
    return true;
  }
  const std::pair<const wchar_t*, WORD> names[] = {
      {L"Del", VK_DELETE}, {L"Ins", VK_INSERT}, {L"Enter", VK_RETURN}, {L"Esc", VK_ESCAPE}};
  for (const auto& [name, vk] : names) {
    if (text == name) {
      key = vk;
      return true;
    }
  }
  return false;
}

// The menu command a key's command reaches: the frame sends the document's file keys to the
// commands of the File menu.
int MenuCommandOf(int accelerator_command) {
  switch (accelerator_command) {
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
      return ID_SELECT_FILES;
    case ID_FILE_SAVE:
      return ID_SAVE_FILES;
    default:
      return accelerator_command;
  }
}

// Every item of a menu, through its sub-menus: the key named after its tab is bound to that
// item's command in the accelerator table, and no two items of one pop-up share a mnemonic.
void WalkMenu(HMENU menu, const std::vector<ACCEL>& table, const std::wstring& path, bool bar) {
  std::vector<wchar_t> mnemonics;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    wchar_t buffer[128] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
    info.dwTypeData = buffer;
    info.cch = 128;
    ASSERT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info));
    if (info.fType & MFT_SEPARATOR) continue;
    const std::wstring text(buffer);
    SCOPED_TRACE(testing::Message()
                 << "menu item \"" << std::string(text.begin(), text.end()) << "\" under \""
                 << std::string(path.begin(), path.end()) << "\"");
    const size_t amp = text.find(L'&');
    if (amp != std::wstring::npos && amp + 1 < text.size()) {
      const wchar_t m = static_cast<wchar_t>(towlower(text[amp + 1]));
      EXPECT_EQ(std::count(mnemonics.begin(), mnemonics.end(), m), 0) << "a shared mnemonic";
      mnemonics.push_back(m);
    }
    if (info.hSubMenu != nullptr) {
      if (bar) {
        EXPECT_NE(amp, std::wstring::npos) << "a menu of the bar without its Alt key";
      }
      WalkMenu(info.hSubMenu, table, path + L"/" + text, false);
      continue;
    }
    const size_t tab = text.find(L'\t');
    if (tab == std::wstring::npos) continue;
    BYTE mods = 0;
    WORD key = 0;
    ASSERT_TRUE(ParseKeyText(text.substr(tab + 1), mods, key));
    int bound = 0;
    for (const ACCEL& a : table) {
      if ((a.fVirt & FVIRTKEY) && a.key == key && (a.fVirt & (FCONTROL | FSHIFT | FALT)) == mods) {
        ++bound;
        EXPECT_EQ(MenuCommandOf(a.cmd), static_cast<int>(info.wID)) << "the key does another thing";
      }
    }
    EXPECT_EQ(bound, 1) << "the key named is bound once";
  }
}

TEST(WindowKeys, EveryMenuKeyTextIsTheKeyOfItsCommand) {
  GuiHarness h;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  ASSERT_NE(accelerators, nullptr);
  std::vector<ACCEL> table(static_cast<size_t>(CopyAcceleratorTableW(accelerators, nullptr, 0)));
  CopyAcceleratorTableW(accelerators, table.data(), static_cast<int>(table.size()));
  WalkMenu(GetMenu(h.frame().hwnd()), table, L"main", true);
  const HMENU edit = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_POPUP_EDIT));
  ASSERT_NE(edit, nullptr);
  WalkMenu(edit, table, L"edit", false);
  DestroyMenu(edit);
  // F1 is help, whatever the menu says.
  int f1 = 0;
  for (const ACCEL& a : table) {
    if (a.key == VK_F1 && (a.fVirt & (FCONTROL | FSHIFT | FALT)) == 0) f1 = a.cmd;
  }
  EXPECT_EQ(f1, ID_SOFTWARE_HELP);
}

// Tab walks the controls in reading order, round the end, skipping those hidden or disabled;
// tabbing into the destination selects its text; Enter presses the focused button.
TEST(WindowKeys, TabFollowsTheReadingOrderAndEnterPressesTheFocusedButton) {
  GuiHarness h;
  CVelmoraView& v = h.view();
  v.AddFiles({L"C:\\data\\a.ods"});
  for (int id : {ID_TARVIK_BTN_SAVE_FILES, ID_TARVIK_BTN_BROWSE, ID_TARVIK_BROWSE_EDIT_CTRL,
                 ID_CHECK_BTN_EXTRACT_FILE_CONTENT}) {
    EnableWindow(v.Child(id), TRUE);
  }
  v.destination().ApplyText(L"C:\\out");
  auto tab = [&] {
    MSG msg{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(v.PreTranslateMessage(msg));
    return GetDlgCtrlID(GetFocus());
  };
  SetFocus(v.file_list().hwnd());
  std::vector<int> order;
  for (int i = 0; i < 9; ++i) {
    order.push_back(tab());
    if (order.back() == ID_TARVIK_BROWSE_EDIT_CTRL) {
      DWORD from = 1, to = 0;
      SendMessageW(GetFocus(), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                   reinterpret_cast<LPARAM>(&to));
      EXPECT_EQ(from, 0u);
      EXPECT_EQ(to, 6u) << "the destination's text is selected";
    }
  }
  EXPECT_EQ(order,
            (std::vector<int>{
                ID_TARVIK_BTN_SELECT_FILES, ID_TARVIK_BTN_REMOVE_FILES, ID_TARVIK_BTN_RECOVER_FILES,
                ID_TARVIK_BROWSE_EDIT_CTRL, ID_TARVIK_BTN_BROWSE, ID_TARVIK_BTN_SAVE_FILES,
                ID_CHECK_BTN_EXTRACT_FILE_CONTENT, ID_TARVIK_BTN_EXIT, ID_TARVIK_LIST_CTRL}));
  // A disabled control is passed over.
  EnableWindow(v.Child(ID_TARVIK_BTN_REMOVE_FILES), FALSE);
  SetFocus(v.Child(ID_TARVIK_BTN_SELECT_FILES));
  EXPECT_EQ(tab(), ID_TARVIK_BTN_RECOVER_FILES);
  EnableWindow(v.Child(ID_TARVIK_BTN_REMOVE_FILES), TRUE);

  // Enter on Remove with nothing selected: Remove's own answer.
  h.dialogs().ClearBoxes();
  SetFocus(v.Child(ID_TARVIK_BTN_REMOVE_FILES));
  MSG enter{GetFocus(), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
  EXPECT_TRUE(v.PreTranslateMessage(enter));
  PumpPending();
  ASSERT_EQ(h.dialogs().boxes().size(), 1u);
  EXPECT_EQ(h.dialogs().boxes()[0].text, L"No file(s) selected to remove.");
  // Enter in the destination field stays the field's.
  SetFocus(v.destination().hwnd());
  MSG in_field{GetFocus(), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
  EXPECT_FALSE(v.PreTranslateMessage(in_field));
}

// The window at its smallest (700 x 500) with both progress rows, as a repair shows them: the
// log keeps a readable height, the list gives way, and nothing overlaps or runs into the
// footer.
TEST(WindowLayout, AtTheMinimumSizeWithTheProgressRowsTheLogKeepsItsHeight) {
  GuiHarness h;
  CVelmoraView& v = h.view();
  SetWindowPos(h.frame().hwnd(), nullptr, 0, 0, kMinTrackWidth, kMinTrackHeight, SWP_NOZORDER);
  for (HWND row : {v.file_label(), v.file_bar(), v.total_label(), v.total_bar()})
    ShowWindow(row, SW_SHOW);
  v.Relayout();
  RECT client{};
  GetClientRect(v.hwnd(), &client);
  const RECT list = winfw::ChildRect(v.file_list().hwnd());
  const RECT field = winfw::ChildRect(v.destination().hwnd());
  const RECT log = winfw::ChildRect(v.log());
  const RECT file_label = winfw::ChildRect(v.file_label());
  const RECT total_label = winfw::ChildRect(v.total_label());
  EXPECT_GE(log.bottom - log.top, 60) << "the log shows several lines";
  EXPECT_GT(list.bottom - list.top, 0);
  EXPECT_LT(list.bottom, field.top);
  EXPECT_LE(field.bottom, log.top);
  EXPECT_LE(log.bottom, file_label.top);
  EXPECT_LE(file_label.bottom, total_label.top);
  EXPECT_LE(total_label.bottom, client.bottom - 60) << "the footer starts 60 pixels up";
}

// A long log shown while the progress rows take room, then grown when they go (a Stop, the
// end of a job): its last line is in sight without scrolling.
TEST(WindowLayout, TheLogShowsItsLastLineWhenItGrows) {
  GuiHarness h;
  CVelmoraView& v = h.view();
  for (HWND row : {v.file_label(), v.file_bar(), v.total_label(), v.total_bar()})
    ShowWindow(row, SW_SHOW);
  v.Relayout();
  for (int i = 0; i < 300; ++i) v.AppendLog(L"line " + std::to_wstring(i) + L"\r\n", kBlack);
  v.FlushLog();
  for (HWND row : {v.file_label(), v.file_bar(), v.total_label(), v.total_bar()})
    ShowWindow(row, SW_HIDE);
  v.Relayout();
  PumpPending();
  const HWND log = v.log();
  const auto lines = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
  const auto last = SendMessageW(log, EM_LINEINDEX, lines - 2, 0);  // the last line of text
  POINTL at{};
  SendMessageW(log, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), last);
  RECT client{};
  GetClientRect(log, &client);
  EXPECT_GE(at.y, 0);
  EXPECT_LT(at.y, client.bottom - 8) << "\"line 299\" is in sight";
  const auto first = SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first, 0) << "the log is not scrolled back to its start";
}

}  // namespace
}  // namespace velmora::ui::test
