// Not a test: the pictures of the main window for the documentation, taken by
// docs/screenshots/make.sh, which runs this program on a Wine desktop with
//   --gtest_also_run_disabled_tests --gtest_filter='*Screenshots*'
// and VELMORA_SHOTS naming the folder the bitmaps go to.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/gui_harness.h"
#include "ui/about/about_dlg.h"
#include "ui/resource_ids.h"
#include "winfw/gdi.h"

namespace velmora::ui::test {
namespace {

// A part of the screen (all of it by default) as a 24-bit BMP file.
bool SaveScreen(const std::wstring& path, RECT area = {}) {
  if (IsRectEmpty(&area)) {
    area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  winfw::WindowDc screen(nullptr);
  winfw::DibSurface shot(w, h);
  BitBlt(shot.dc(), 0, 0, w, h, screen.get(), area.left, area.top, SRCCOPY);
  GdiFlush();
  const int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;  // bottom-up rows in the file
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(stride * h);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  std::string row(static_cast<size_t>(stride), '\0');
  for (int y = h - 1; y >= 0; --y) {
    const DWORD* p = shot.bits() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      row[x * 3] = static_cast<char>(p[x] & 0xFF);
      row[x * 3 + 1] = static_cast<char>((p[x] >> 8) & 0xFF);
      row[x * 3 + 2] = static_cast<char>((p[x] >> 16) & 0xFF);
    }
    bytes += row;
  }
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == bytes.size();
}

// Lets the window draw everything before the picture is taken.
void Settle(GuiHarness& h) {
  RedrawWindow(h.frame().hwnd(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump([] { return false; }, 700);
}

// The folder the pictures go to, from VELMORA_SHOTS; empty when it is not set.
std::wstring ShotFolder() {
  const char* folder = std::getenv("VELMORA_SHOTS");
  const std::string narrow(folder != nullptr ? folder : "");
  return std::wstring(narrow.begin(), narrow.end());
}

// Cuts the file at `tenths` tenths of its length, as a copy that stopped short would.
bool CutToTenths(const std::wstring& path, int tenths) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) != FALSE;
  LARGE_INTEGER at{};
  at.QuadPart = size.QuadPart * tenths / 10;
  ok = ok && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

TEST(Screenshots, DISABLED_MainWindow) {
  const std::wstring out = ShotFolder();
  ASSERT_FALSE(out.empty()) << "VELMORA_SHOTS names the folder for the pictures";

  GuiHarness h;
  ShowWindow(h.frame().hwnd(), SW_SHOWMAXIMIZED);
  SetForegroundWindow(h.frame().hwnd());
  Settle(h);
  ASSERT_TRUE(SaveScreen(out + L"\\1-start.bmp"));

  // Files as a user keeps them: in a documents folder of their own.
  TempDir home;
  const std::wstring documents = home / L"Documents";
  CreateDirectoryW(documents.c_str(), nullptr);
  const std::wstring budget = documents + L"\\Budget 2026.ods";
  const std::wstring sales = documents + L"\\Quarterly sales.ods";
  const std::wstring charts = documents + L"\\Charts and pictures.ods";
  ASSERT_TRUE(CopyInto(SourceFile("samples/Budget-damaged.ods"), budget));
  ASSERT_TRUE(CopyInto(SourceFile("tests/interop/fixtures/formulas_sheets.ods"), sales));
  ASSERT_TRUE(CopyInto(SourceFile("tests/interop/fixtures/pictures.ods"), charts));
  // A file whose last tenth is gone, through its sheet: it comes back only in part.
  const std::wstring ledger = documents + L"\\Ledger (cut).ods";
  ASSERT_TRUE(CopyInto(SourceFile("tests/interop/fixtures/numbers_text.ods"), ledger));
  ASSERT_TRUE(CutToTenths(ledger, 9));
  h.dialogs().Open({budget, sales, charts, ledger});
  h.Click(ID_TARVIK_BTN_SELECT_FILES);
  h.Click(ID_TARVIK_BTN_RECOVER_FILES);
  ASSERT_TRUE(h.WaitIdle());
  CTarvikListCtrl& list = h.view().file_list();
  ListView_SetItemState(list.hwnd(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(h.view().hwnd(), kPreviewRequest, 0, 0);
  Settle(h);
  ASSERT_TRUE(SaveScreen(out + L"\\2-repaired.bmp"));

  // The partly repaired file selected: its image in the list, its orange line in the log and
  // its verdict under the picture it stored.
  ListView_SetItemState(list.hwnd(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemState(list.hwnd(), 3, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(h.view().hwnd(), kPreviewRequest, 3, 0);
  Settle(h);
  ASSERT_TRUE(SaveScreen(out + L"\\2-partly-repaired.bmp"));

  const std::wstring repaired = home / L"Repaired";
  CreateDirectoryW(repaired.c_str(), nullptr);
  h.dialogs().Browse(repaired);
  h.Click(ID_TARVIK_BTN_BROWSE);
  h.Click(ID_TARVIK_BTN_SAVE_FILES);
  ASSERT_TRUE(h.WaitIdle());
  Settle(h);
  ASSERT_TRUE(SaveScreen(out + L"\\3-saved.bmp"));
}

// The splash as a user first sees it: over the maximised window, which has just opened.
TEST(Screenshots, DISABLED_SplashOverTheStartingWindow) {
  const std::wstring out = ShotFolder();
  ASSERT_FALSE(out.empty()) << "VELMORA_SHOTS names the folder for the pictures";
  GuiHarness h(true);
  HWND splash = FindWindowW(L"VelmoraSplashClass", nullptr);
  ASSERT_NE(splash, nullptr);
  // The program shows its window maximised; Wine without a window manager (as here, see
  // make.sh) keeps a maximised window at its old size, so it is given the whole screen.
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(h.frame().hwnd(), nullptr, work.left, work.top, work.right - work.left,
               work.bottom - work.top, SWP_NOZORDER | SWP_NOACTIVATE);
  SetForegroundWindow(h.frame().hwnd());
  Settle(h);
  ASSERT_TRUE(IsWindow(splash) && IsWindowVisible(splash)) << "the splash went before its time";
  ASSERT_TRUE(SaveScreen(out + L"\\splash.bmp"));
  EXPECT_TRUE(Pump([&] { return !IsWindow(splash); }, 10000));
}

// The About box by itself, frame and caption included, taken from inside its modal loop.
HWND g_about_box = nullptr;
std::wstring g_about_shot;
bool g_about_saved = false;
void CALLBACK ShootAboutBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = FindWindowW(L"#32770", kAboutCaption);
  if (box == nullptr) return;
  if (g_about_box == nullptr) {
    // The first tick draws it; the next one takes the picture.
    g_about_box = box;
    RedrawWindow(box, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return;
  }
  KillTimer(nullptr, timer);
  GdiFlush();
  RECT area{};
  GetWindowRect(box, &area);
  g_about_saved = SaveScreen(g_about_shot, area);
  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

TEST(Screenshots, DISABLED_AboutBox) {
  const std::wstring out = ShotFolder();
  ASSERT_FALSE(out.empty()) << "VELMORA_SHOTS names the folder for the pictures";
  GuiHarness h;
  ShowWindow(h.frame().hwnd(), SW_SHOWMAXIMIZED);
  Settle(h);
  g_about_box = nullptr;
  g_about_shot = out + L"\\about.bmp";
  g_about_saved = false;
  SetTimer(nullptr, 0, 400, ShootAboutBox);
  CAboutDlg about;
  EXPECT_EQ(about.DoModal(h.frame().hwnd()), IDOK);
  EXPECT_TRUE(g_about_saved);
}

}  // namespace
}  // namespace velmora::ui::test
