// What the window shows of a file's verdict, with verdicts set on the real view as the repair
// job sets them: the list's fourth image, the item's tip and status-bar text, the preview
// pane's band, its mark over a stored picture and the verdict alone where no picture may be
// shown; and the pane's own faults: gone after a Save, pictures stretched, a picture that does
// not decode leaving it blank. The log's orange line is drawn in orange.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/gui_harness.h"
#include "ui/resource_ids.h"
#include "winfw/gdi.h"

namespace velmora::ui::test {
namespace {

constexpr COLORREF kViewBody = RGB(252, 230, 154);
const std::wstring kPartialSummary =
    L"3 sheets, 1,612 rows; sheet 'Ledger' ends at the damage; 2 of 3 pictures";

bool IsOrange(COLORREF c) {
  const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  return r > 150 && r - b > 110 && g > b + 30 && r > g + 40;
}
bool IsGreen(COLORREF c) {
  return GetGValue(c) > GetRValue(c) + 50 && GetGValue(c) > GetBValue(c) + 30;
}
bool IsRedText(COLORREF c) {
  return GetRValue(c) > 150 && GetGValue(c) < 100 && GetBValue(c) < 100;
}

// A picture of a window or a drawing, with ways to count its pixels.
struct Shot {
  std::vector<COLORREF> pixels;
  int width = 0, height = 0;
  COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // Pixels for which `match` holds in rows [top, top + rows) (top < 0: from the bottom).
  template <class Match>
  int Count(Match match, int top = 0, int rows = 1 << 20) const {
    const int from = std::max(top < 0 ? height + top : top, 0);
    int n = 0;
    for (int y = from; y < std::min(from + rows, height); ++y)
      for (int x = 0; x < width; ++x) n += match(at(x, y));
    return n;
  }
  // The share, in hundredths, of the pixels of rows [top, top + rows) that are `colour`.
  int ShareOf(COLORREF colour, int top, int rows) const {
    const int from = std::max(top < 0 ? height + top : top, 0);
    const int all = std::max(0, std::min(rows, height - from)) * width;
    return all == 0 ? 0 : Count([&](COLORREF c) { return c == colour; }, top, rows) * 100 / all;
  }
  // The smallest rectangle holding every pixel for which `match` holds.
  template <class Match>
  RECT Bounds(Match match) const {
    RECT r{width, height, -1, -1};
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (match(at(x, y))) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
};

Shot FromDib(const winfw::DibSurface& dib) {
  GdiFlush();
  Shot shot;
  shot.width = dib.width();
  shot.height = dib.height();
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      const DWORD p = dib.bits()[static_cast<size_t>(y) * shot.width + x];
      shot.pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    }
  return shot;
}

// The pane as it paints itself, drawn into a picture of its size.
Shot Printed(CPictureBox& pane) {
  RECT client{};
  GetClientRect(pane.hwnd(), &client);
  winfw::DibSurface dib(client.right, client.bottom);
  SendMessageW(pane.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dib.dc()), PRF_CLIENT);
  return FromDib(dib);
}

// A window as it is on the screen now, read through its own device context.
Shot OnScreen(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  winfw::WindowDc dc(window);
  winfw::DibSurface dib(client.right, client.bottom);
  BitBlt(dib.dc(), 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
  return FromDib(dib);
}

// A 24-bit BMP of one colour.
bool WriteBmp(const std::wstring& path, int w, int h, COLORREF colour) {
  const int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(stride * h);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  std::string row(static_cast<size_t>(stride), '\0');
  for (int x = 0; x < w; ++x) {
    row[x * 3] = static_cast<char>(GetBValue(colour));
    row[x * 3 + 1] = static_cast<char>(GetGValue(colour));
    row[x * 3 + 2] = static_cast<char>(GetRValue(colour));
  }
  for (int y = 0; y < h; ++y) bytes += row;
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (f == nullptr) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (f == nullptr) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

// A picture as a 24-bit BMP.
bool WriteShot(const std::wstring& path, const Shot& shot) {
  const int stride = (shot.width * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = shot.width;
  info.biHeight = shot.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(stride * shot.height);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  for (int y = shot.height - 1; y >= 0; --y) {
    std::string row(static_cast<size_t>(stride), '\0');
    for (int x = 0; x < shot.width; ++x) {
      row[x * 3] = static_cast<char>(GetBValue(shot.at(x, y)));
      row[x * 3 + 1] = static_cast<char>(GetGValue(shot.at(x, y)));
      row[x * 3 + 2] = static_cast<char>(GetRValue(shot.at(x, y)));
    }
    bytes += row;
  }
  return WriteBytes(path, bytes);
}

class WindowVerdictTest : public ::testing::Test {
 protected:
  std::wstring Fixture(const std::string& relative, const std::wstring& name) {
    const std::wstring copy = h_.temp() / name;
    EXPECT_TRUE(CopyInto(SourceFile(relative), copy)) << relative;
    return copy;
  }
  // The files selected and repaired, as a user does it.
  void SelectAndRepair(std::vector<std::wstring> paths) {
    h_.dialogs().Open(std::move(paths));
    h_.Click(ID_TARVIK_BTN_SELECT_FILES);
    h_.Click(ID_TARVIK_BTN_RECOVER_FILES);
    ASSERT_TRUE(h_.WaitIdle());
    PumpPending();
  }
  std::wstring Tip(int item, int size = INFOTIPSIZE) {
    std::vector<wchar_t> buffer(static_cast<size_t>(size), L'?');
    NMLVGETINFOTIPW tip{};
    tip.hdr.hwndFrom = list().hwnd();
    tip.hdr.idFrom = ID_TARVIK_LIST_CTRL;
    tip.hdr.code = LVN_GETINFOTIPW;
    tip.pszText = buffer.data();
    tip.cchTextMax = size;
    tip.iItem = item;
    SendMessageW(h_.view().hwnd(), WM_NOTIFY, ID_TARVIK_LIST_CTRL, reinterpret_cast<LPARAM>(&tip));
    return std::wstring(buffer.data());
  }
  CTarvikListCtrl& list() { return h_.view().file_list(); }
  CPictureBox& pane() { return h_.view().preview(); }

  GuiHarness h_;
};

// The list's image list holds four images; the fourth, partly repaired, is the sheet with an
// orange mark where the repaired one has its green check.
TEST_F(WindowVerdictTest, TheListHasAFourthImageForPartlyRepaired) {
  const auto images =
      reinterpret_cast<HIMAGELIST>(SendMessageW(list().hwnd(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
  ASSERT_NE(images, nullptr);
  ASSERT_EQ(ImageList_GetImageCount(images), 4);
  auto drawn = [&](int index) {
    winfw::DibSurface dib(20, 20);
    dib.Fill(RGB(255, 255, 255));
    ImageList_Draw(images, index, dib.dc(), 0, 0, ILD_NORMAL);
    return FromDib(dib);
  };
  const Shot partly = drawn(kImagePartlyRepaired);
  const Shot repaired = drawn(kImageRepaired);
  EXPECT_GT(partly.Count(IsOrange), 15);
  EXPECT_EQ(partly.Count(IsGreen), 0);
  EXPECT_GT(repaired.Count(IsGreen), 15);
  EXPECT_EQ(repaired.Count(IsOrange), 0);

  h_.view().AddFiles({L"C:\\data\\a.ods"});
  h_.view().ReplaceFileItem(0, L"C:\\data\\a.ods", kImagePartlyRepaired);
  EXPECT_EQ(list().ItemImage(0), kImagePartlyRepaired);
}

// The tip of an item and the status bar's text over it name the file and its verdict.
TEST_F(WindowVerdictTest, TheTipAndTheStatusBarTellTheVerdict) {
  const std::wstring path = L"C:\\data\\Ledger.ods";
  h_.view().AddFiles({path});
  struct Case {
    const char* what;
    FileVerdict verdict;
    std::wstring line;  // "": the path alone
  };
  const Case cases[] = {
      {"not judged", {}, L""},
      {"partly repaired",
       {Verdict::kPartial, kPartialSummary, {Verdict::kPartial}},
       L"Partly repaired: " + kPartialSummary},
      {"complete",
       {Verdict::kComplete, L"1 sheet, 20 rows", {Verdict::kComplete}},
       L"Repaired: 1 sheet, 20 rows"},
      {"lost",
       {Verdict::kLost, L"no sheet data came back", {Verdict::kLost}},
       L"Not repaired: no sheet data came back"},
      {"not a package",
       {Verdict::kNotRepaired, L"it holds a workbook of another format", {}},
       L"Not repaired: it holds a workbook of another format"},
      {"a summary that names its verdict",
       {Verdict::kPartial, L"Partly repaired: 2 sheets", {}},
       L"Partly repaired: 2 sheets"},
      {"a verdict without a summary", {Verdict::kPartial, L"", {}}, L"Partly repaired"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h_.view().SetFileVerdict(0, c.verdict);
    EXPECT_EQ(Tip(0), c.line.empty() ? path : path + L"\n" + c.line);
    EXPECT_EQ(list().ItemStatus(0), c.line.empty() ? path : path + L"  " + c.line);
  }

  // A tip buffer too small ends at a blank with "...": no number is shown in part.
  h_.view().SetFileVerdict(0, {Verdict::kPartial, kPartialSummary, {}});
  const std::wstring cut = Tip(0, 50);
  EXPECT_LE(cut.size(), 49u);
  EXPECT_EQ(cut, path + L"\nPartly repaired: 3 sheets...");

  // The pointer over the item: the status bar shows the same.
  RECT item{};
  item.left = LVIR_LABEL;
  SendMessageW(list().hwnd(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  POINT at{item.left + 20, (item.top + item.bottom) / 2};
  ClientToScreen(list().hwnd(), &at);
  SetCursorPos(at.x, at.y);
  const std::wstring expected = path + L"  Partly repaired: " + kPartialSummary;
  Pump(
      [&] {
        PostMessageW(list().hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(item.left + 20, item.top + 2));
        return h_.frame().bars().StatusText() == expected;
      },
      3000);
  EXPECT_EQ(h_.frame().bars().StatusText(), expected);
}

// A partly repaired file: its stored picture, marked as such at the top, and its verdict in a
// band under it with an orange edge. A lost file: no picture, though its thumbnail came back,
// and the verdict alone, in red. A complete file: the band, no mark.
TEST_F(WindowVerdictTest, ThePaneShowsTheVerdictUnderThePicture) {
  const std::wstring first = Fixture("tests/interop/fixtures/pictures.ods", L"first.ods");
  const std::wstring second = Fixture("tests/interop/fixtures/pictures.ods", L"second.ods");
  SelectAndRepair({first, second});
  const COLORREF band = GetSysColor(COLOR_INFOBK);

  // Without a verdict the pane is as before: the picture, no band, no mark. (The repair has
  // given the file one; it is taken away here.)
  h_.view().SetFileVerdict(0, {});
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 0, 0);
  ASSERT_TRUE(pane().has_picture());
  Shot plain = Printed(pane());
  EXPECT_LT(plain.ShareOf(band, -12, 12), 20);
  EXPECT_LT(plain.ShareOf(band, 0, 12), 20);

  h_.view().SetFileVerdict(0, {Verdict::kPartial, kPartialSummary, {Verdict::kPartial}});
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 0, 0);
  ASSERT_TRUE(pane().has_picture());
  EXPECT_EQ(pane().verdict_line(), L"Partly repaired: " + kPartialSummary);
  EXPECT_TRUE(pane().marks_stored_picture());
  const Shot partly = Printed(pane());
  EXPECT_GT(partly.ShareOf(band, 0, 12), 50) << "the stored-picture mark at the top";
  EXPECT_GT(partly.ShareOf(band, -12, 12), 50) << "the band at the bottom";
  EXPECT_GT(partly.Count(IsOrange, -30, 30), 20) << "the band's orange edge";
  EXPECT_GT(partly.Count([](COLORREF c) { return c == GetSysColor(COLOR_INFOTEXT); }, -30, 30), 0)
      << "the band's words";
  // The picture lies between the mark and the band.
  {
    winfw::WindowDc dc(pane().hwnd());
    const RECT picture = pane().PictureRect(dc.get());
    EXPECT_GE(picture.top, 12);
    EXPECT_LE(picture.bottom, partly.height - 12);
    EXPECT_GT(picture.bottom - picture.top, partly.height / 4);
  }

  // A job's ShowPreview, which shows another state, takes the verdict away.
  h_.view().ShowPreview(L"", kPreviewSelectFile);
  EXPECT_EQ(pane().verdict_line(), L"");
  EXPECT_FALSE(pane().marks_stored_picture());

  h_.view().SetFileVerdict(1, {Verdict::kLost, L"no sheet data came back", {Verdict::kLost}});
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 1, 0);
  EXPECT_FALSE(pane().has_picture()) << "the thumbnail of what did not come back";
  EXPECT_EQ(pane().verdict_line(), L"Not repaired: no sheet data came back");
  const Shot lost = Printed(pane());
  EXPECT_GT(lost.Count(IsRedText, 15, 30), 0) << "the verdict's words where the hint goes";
  EXPECT_LT(lost.ShareOf(band, -12, 12), 20) << "no band: the verdict stands alone";

  h_.view().SetFileVerdict(0, {Verdict::kComplete, L"1 sheet, 4 rows", {Verdict::kComplete}});
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 0, 0);
  ASSERT_TRUE(pane().has_picture());
  EXPECT_FALSE(pane().marks_stored_picture());
  const Shot complete = Printed(pane());
  EXPECT_GT(complete.ShareOf(band, -12, 12), 50);
  EXPECT_LT(complete.ShareOf(band, 0, 12), 20);
  EXPECT_GT(complete.Count(IsGreen, -25, 25), 20) << "the band's green edge";
  EXPECT_EQ(complete.Count(IsOrange, -25, 25), 0);

  // The repair's results thrown away: no verdict is shown for what is no longer there.
  h_.view().DiscardWorkingFolder();
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 0, 0);
  EXPECT_EQ(pane().code(), kPreviewNotRepaired);
  EXPECT_EQ(pane().verdict_line(), L"");
}

// After a Save the pane still shows its hint, framed by its own colour: the view's relayout
// at the end of the save once painted the view's background over it.
TEST_F(WindowVerdictTest, ThePaneIsStillThereAfterASave) {
  SelectAndRepair({Fixture("tests/interop/fixtures/numbers_text.ods", L"a.ods")});
  ASSERT_EQ(pane().code(), kPreviewSelectFile);
  TempDir out;
  h_.view().destination().ApplyText(out.path());
  h_.Click(ID_TARVIK_BTN_SAVE_FILES);
  ASSERT_TRUE(h_.WaitIdle());
  PumpPending();
  UpdateWindow(h_.frame().hwnd());
  RedrawWindow(h_.frame().hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  PumpPending();
  ASSERT_EQ(pane().code(), kPreviewSelectFile);
  const Shot seen = OnScreen(pane().hwnd());
  EXPECT_GT(seen.ShareOf(GetSysColor(COLOR_BTNFACE), 0, seen.height), 80);
  EXPECT_LT(seen.ShareOf(kViewBody, 0, seen.height), 5) << "the view's background over the pane";
  EXPECT_GT(seen.Count([](COLORREF c) { return c == GetSysColor(COLOR_BTNTEXT); }, 15, 30), 0)
      << "the hint's words";
}

// Pictures keep their shape: as large as the pane allows (a small one at most twice its
// size), centred, never stretched; read from the pixels of a wide and a tall picture.
TEST_F(WindowVerdictTest, PicturesKeepTheirShapeCentredInThePane) {
  const COLORREF red = RGB(200, 20, 20);
  auto reddish = [](COLORREF c) {
    return GetRValue(c) > 120 && GetGValue(c) < 100 && GetBValue(c) < 100;
  };
  struct Case {
    const wchar_t* name;
    int w, h;
  };
  const Case cases[] = {{L"wide.bmp", 300, 100}, {L"tall.bmp", 60, 240}, {L"small.bmp", 24, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    const std::wstring path = h_.temp() / c.name;
    ASSERT_TRUE(WriteBmp(path, c.w, c.h, red));
    h_.view().ShowPreview(path, kPreviewBlank);
    ASSERT_TRUE(pane().has_picture());
    EXPECT_EQ(pane().mode(), CPictureBox::kFitted);
    const Shot shot = Printed(pane());
    const RECT r = shot.Bounds(reddish);
    ASSERT_LT(r.left, r.right);
    const int w = r.right - r.left, h = r.bottom - r.top;
    // The shape: width over height as the picture's, within a pixel of rounding each way.
    EXPECT_NEAR(static_cast<double>(w) / h, static_cast<double>(c.w) / c.h,
                static_cast<double>(c.w) / c.h * 4.0 / std::min(w, h));
    // Centred.
    EXPECT_LE(std::abs(r.left - (shot.width - r.right)), 2);
    EXPECT_LE(std::abs(r.top - (shot.height - r.bottom)), 2);
    // As large as allowed: it meets the pane's sides on one axis, or is twice its size.
    const double scale = std::min(
        {static_cast<double>(shot.width) / c.w, static_cast<double>(shot.height) / c.h, 2.0});
    EXPECT_NEAR(w, c.w * scale, 2);
    EXPECT_NEAR(h, c.h * scale, 2);
  }
  h_.view().ShowPreview(L"", kPreviewBlank);
}

// A file that exists but is no picture leaves a hint in the pane, never a blank pane.
TEST_F(WindowVerdictTest, APictureThatDoesNotDecodeShowsAHint) {
  const std::wstring path = h_.temp() / L"broken.png";
  ASSERT_TRUE(WriteBytes(path, std::string("\x89PNG\r\n\x1a\nnot a picture at all", 28)));
  h_.view().ShowPreview(path, kPreviewBlank);
  EXPECT_FALSE(pane().has_picture());
  const Shot shot = Printed(pane());
  EXPECT_GT(shot.Count([](COLORREF c) { return c == GetSysColor(COLOR_BTNTEXT); }, 15, 30), 0);
  // With a verdict, the verdict takes the hint's place.
  pane().SetVerdict(Verdict::kPartial, L"Partly repaired: 1 sheet, 3 rows");
  EXPECT_GT(Printed(pane()).Count(IsOrange, 15, 30), 0);
  h_.view().ShowPreview(L"", kPreviewBlank);
}

// A partly repaired file's log line is drawn in orange: the colour is a plain COLORREF.
TEST_F(WindowVerdictTest, ThePartlyRepairedLogLineIsOrange) {
  const HWND log = h_.view().log();
  h_.view().SetLogText(L"");
  h_.view().AppendLog(L"C:\\data\\Ledger.ods  Partly repaired: " + kPartialSummary + L"....\r\n",
                      kOrange);
  h_.view().AppendLog(L"*****\r\n", kBlack);
  h_.view().FlushLog();
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  SendMessageW(log, EM_SETSEL, 2, 3);
  SendMessageW(log, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  EXPECT_EQ(format.crTextColor, kOrange);
  SendMessageW(log, EM_SETSEL, 0, 0);
  UpdateWindow(h_.frame().hwnd());
  RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_GT(OnScreen(log).Count(IsOrange), 20);
}

// Not a test: a picture of the window with a partly repaired file selected, its verdict in
// the list, the log and the pane, for a developer to look at. Run with
//   --gtest_also_run_disabled_tests --gtest_filter='*LookAt*'
// and VELMORA_SHOTS naming the folder the bitmap goes to.
TEST_F(WindowVerdictTest, DISABLED_LookAtAPartlyRepairedFile) {
  const char* folder = std::getenv("VELMORA_SHOTS");
  ASSERT_NE(folder, nullptr) << "VELMORA_SHOTS names the folder for the picture";
  const std::wstring first = Fixture("tests/interop/fixtures/pictures.ods", L"Ledger.ods");
  const std::wstring second = Fixture("tests/interop/fixtures/numbers_text.ods", L"Lost.ods");
  SelectAndRepair({first, second});
  h_.view().ReplaceFileItem(0, first, kImagePartlyRepaired);
  h_.view().SetFileData(0, kItemRepaired);
  h_.view().SetFileVerdict(0, {Verdict::kPartial, kPartialSummary, {Verdict::kPartial}});
  h_.view().SetFileVerdict(1, {Verdict::kLost, L"no sheet data came back", {Verdict::kLost}});
  h_.view().AppendLog(first + L"  Partly repaired: " + kPartialSummary + L"....\r\n", kOrange);
  h_.view().FlushLog();
  ListView_SetItemState(list().hwnd(), 0, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 0, 0);
  RedrawWindow(h_.frame().hwnd(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump([] { return false; }, 700);
  const std::string narrow(folder);
  const std::wstring out(narrow.begin(), narrow.end());
  EXPECT_TRUE(WriteShot(out + L"\\partly-repaired.bmp", OnScreen(h_.frame().hwnd())));
  SendMessageW(h_.view().hwnd(), kPreviewRequest, 1, 0);
  RedrawWindow(pane().hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(WriteShot(out + L"\\lost-pane.bmp", OnScreen(pane().hwnd())));
}

}  // namespace
}  // namespace velmora::ui::test
