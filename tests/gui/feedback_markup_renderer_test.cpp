// The mark-up renderer measured and drawn into memory surfaces at 96 dots per inch.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>

#include "engine/job/markup_escape.h"
#include "feedback/markup_renderer.h"
#include "feedback/markup_text.h"
#include "winfw/gdi.h"

namespace velmora {
namespace {

using winfw::DibSurface;

// Text metrics of a font as the renderer makes it.
struct Metrics {
  int height = 0;
  int width = 0;  // of the sample text
};

Metrics Measure(HDC dc, int height, int weight, bool italic, const std::wstring& text,
                const wchar_t* face = L"Verdana") {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  wcscpy_s(lf.lfFaceName, face);
  winfw::Font font(CreateFontIndirectW(&lf));
  winfw::SelectObj select(dc, font.get());
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return Metrics{tm.tmHeight, size.cx};
}

class FeedbackMarkupRendererTest : public ::testing::Test {
 protected:
  DibSurface surface_{400, 300};
  HDC dc() { return surface_.dc(); }
};

TEST_F(FeedbackMarkupRendererTest, BodyTextIsTenPointVerdana) {
  ASSERT_EQ(GetDeviceCaps(dc(), LOGPIXELSY), 96);
  CMarkupRenderer r;
  const SIZE size = r.Measure(dc(), L"Please select a valid folder path.");
  const Metrics m = Measure(dc(), 13, 400, false, L"Please select a valid folder path.");
  EXPECT_EQ(size.cx, m.width + 1);
  EXPECT_EQ(size.cy, m.height + 1);
  ASSERT_EQ(r.lines().size(), 1u);
  EXPECT_FALSE(r.lines()[0].wrapped);
}

TEST_F(FeedbackMarkupRendererTest, StylesOfTags) {
  struct Case {
    std::wstring markup;
    int height;  // font cell height the text is measured with
    int weight;
    bool italic;
    std::wstring shown;
  };
  const Case cases[] = {
      {L"<b>Wide</b>", 13, 800, false, L"Wide"},
      {L"<b><b>Wide</b></b>", 13, 900, false, L"Wide"},
      {L"<i>Wide</i>", 13, 400, true, L"Wide"},
      {L"<i><i>Wide</i></i>", 13, 400, false, L"Wide"},
      {L"<B>Wide</B>", 13, 400, false, L"Wide"},  // upper-case names are no tags
      {L"<font size=3>Wide</font>", 12, 400, false, L"Wide"},
      {L"<font size=12pt>Wide</font>", 16, 400, false, L"Wide"},
      {L"<font size=7>Wide</font>", 36, 400, false, L"Wide"},
      {L"<font size=20px>Wide</font>", 20, 400, false, L"Wide"},
      {L"<font style='bi'>Wide</font>", 13, 700, true, L"Wide"},
      {L"<h1>Wide</h1>", 18, 700, false, L"Wide"},
      {L"&lt;b&gt;Wide", 13, 400, false, L"<b>Wide"},
      {L"<b>a</i>b</b>", 13, 800, false, L"ab"},  // a stray closing tag changes nothing
      {L"<font size=99999999px>W</font>", 2000, 400, false, L"W"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    CMarkupRenderer r;
    const SIZE size = r.Measure(dc(), c.markup);
    const Metrics m = Measure(dc(), c.height, c.weight, c.italic, c.shown);
    EXPECT_EQ(size.cx, m.width + 1);
    EXPECT_EQ(size.cy, m.height + 1);
  }
}

TEST_F(FeedbackMarkupRendererTest, BreaksAndTabs) {
  const int h = Measure(dc(), 13, 400, false, L"x").height;
  struct Case {
    std::wstring markup;
    int lines;  // height in body lines
  };
  const Case cases[] = {
      {L"a", 1},          {L"a<br>b", 2},
      {L"a\nb", 2},       {L"a<br=2>b", 3},
      {L"a<br><br>b", 3}, {L"a</br>b", 2},
      {L"a<br>", 1},      {L"a<br=-3>b", 4},
      {L"a<br=0x2>b", 3}, {L"a<br=999999999>b", 101},  // counts are held to 100
      {L"a<br=abc>b", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    CMarkupRenderer r;
    EXPECT_EQ(r.Measure(dc(), c.markup).cy, c.lines * h + 1);
  }
  CMarkupRenderer tabs;
  EXPECT_EQ(tabs.Measure(dc(), L"<t=3>").cx, 3 * 32 + 1);
  EXPECT_EQ(tabs.Measure(dc(), L"<t=1000000>").cx, 100 * 32 + 1);
}

TEST_F(FeedbackMarkupRendererTest, TheMessageBoxIconTable) {
  HICON icon = LoadIconW(nullptr, IDI_ASTERISK);
  const std::wstring text = L"Please select a valid folder path.";
  wchar_t markup[300];
  swprintf(
      markup, 300,
      L"<table cellpadding=5><tr><td width=32><icon handle=0x%llX></td><td>%ls</td></tr></table>",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(icon)), text.c_str());
  CMarkupRenderer r;
  const SIZE size = r.Measure(dc(), markup);
  const Metrics m = Measure(dc(), 13, 400, false, text);
  ASSERT_EQ(r.tables().size(), 1u);
  const TableRecord& t = r.tables()[0];
  ASSERT_EQ(t.columns, 2);
  EXPECT_EQ(t.column_widths[0], 32 + 2 * 5);
  EXPECT_EQ(t.column_widths[1], m.width + 10);
  EXPECT_EQ(t.width, t.column_widths[0] + t.column_widths[1] + 1);
  EXPECT_EQ(size.cx, t.width + 1);
  EXPECT_EQ(size.cy, std::max(32, m.height) + 10 + 1);
  EXPECT_TRUE(t.fixed_columns[0]);
  EXPECT_FALSE(t.fixed_columns[1]);

  // Drawn into a wider box, the text column takes the room; the icon is drawn in its cell.
  surface_.Fill(RGB(255, 255, 255));
  r.Draw(dc(), RECT{0, 0, 400, 300});
  int icon_pixels = 0;
  for (int y = 5; y < 37; ++y)
    for (int x = 5; x < 37; ++x) icon_pixels += surface_.Pixel(x, y) != RGB(255, 255, 255);
  EXPECT_GT(icon_pixels, 100);
}

TEST_F(FeedbackMarkupRendererTest, TablesStretchOrKeepTheirFixedWidth) {
  const COLORREF red = RGB(255, 0, 0), white = RGB(255, 255, 255);
  struct Case {
    std::wstring markup;
    int left_edge;   // first red column
    int right_edge;  // last red column
  };
  const Case cases[] = {
      {L"<table border=1 bordercolor=#ff0000><tr><td>x</td></tr></table>", 0, 199},
      {L"<table border=1 bordercolor=#ff0000 align=center><tr><td width=50>x</td></tr></table>", 71,
       128},
      {L"<table border=1 bordercolor=#ff0000 align=right><tr><td width=50>x</td></tr></table>", 142,
       199},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    surface_.Fill(white);
    CMarkupRenderer r;
    r.Measure(dc(), c.markup);
    r.Draw(dc(), RECT{0, 0, 200, 100});
    EXPECT_EQ(surface_.Pixel(c.left_edge, 5), red);
    EXPECT_EQ(surface_.Pixel(c.right_edge, 5), red);
    if (c.left_edge > 0) {
      EXPECT_EQ(surface_.Pixel(c.left_edge - 1, 5), white);
    }
    EXPECT_EQ(surface_.Pixel(c.right_edge + 1, 5), white);
  }

  // Auto columns share the extra width; the last takes what the division leaves.
  CMarkupRenderer spans;
  spans.Measure(dc(),
                L"<table><tr><td colspan=2>wide wide wide</td></tr><tr><td>a</td><td>b</td></tr>"
                L"<tr><td rowspan=99999>c</td><td colspan=0>d</td></tr></table>");
  ASSERT_EQ(spans.tables().size(), 1u);
  EXPECT_EQ(spans.tables()[0].columns, 2);
  EXPECT_EQ(spans.tables()[0].rows, 3);
  EXPECT_EQ(spans.tables()[0].cells.back().column_span, 1);
  EXPECT_EQ(spans.tables()[0].cells[3].row_span, 1);
}

TEST_F(FeedbackMarkupRendererTest, LinksAreBlueAndUnderlinedWhileHovered) {
  const COLORREF blue = RGB(0, 0, 255);
  CMarkupRenderer r;
  r.Measure(dc(), L"go <a href='C:\\Out'>there</a> now");
  auto blue_pixels = [&]() {
    surface_.Fill(RGB(255, 255, 255));
    r.Draw(dc(), RECT{0, 0, 400, 300});
    int n = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 200; ++x) n += surface_.Pixel(x, y) == blue;
    return n;
  };
  const int plain = blue_pixels();
  EXPECT_GT(plain, 20);
  ASSERT_EQ(r.link_areas().size(), 1u);
  const LinkArea link = r.link_areas()[0];
  EXPECT_EQ(link.kind, 1);
  EXPECT_EQ(link.number, 0);
  EXPECT_EQ(link.target, L"C:\\Out");
  const Metrics go = Measure(dc(), 13, 400, false, L"go ");
  EXPECT_EQ(link.rect.left, go.width);
  EXPECT_EQ(r.LinkAt(POINT{link.rect.left, link.rect.top}), 0);  // edges belong to the link
  EXPECT_EQ(r.LinkAt(POINT{link.rect.right, link.rect.bottom}), 0);
  EXPECT_EQ(r.LinkAt(POINT{link.rect.right + 1, link.rect.top}), -1);
  EXPECT_EQ(r.hover_link(), -2);
  EXPECT_TRUE(r.UpdateHover(POINT{link.rect.left + 2, link.rect.top + 2}));
  EXPECT_EQ(r.hover_link(), 0);
  EXPECT_GT(blue_pixels(), plain + 10);  // the underline
  EXPECT_FALSE(r.UpdateHover(POINT{1, 1}));
  EXPECT_EQ(r.hover_link(), -2);
}

TEST_F(FeedbackMarkupRendererTest, ColoursOfTextAndNames) {
  struct Case {
    std::wstring markup;
    COLORREF colour;
  };
  const Case cases[] = {
      {L"<font color=#00ff00>\u2588\u2588\u2588</font>", RGB(0, 255, 0)},
      {L"<font color=red>\u2588\u2588\u2588</font>", RGB(255, 0, 0)},
      {L"<font color=0xFF0000>\u2588\u2588\u2588</font>", RGB(0, 0, 255)},
      {L"<font color=lightgrey>\u2588\u2588\u2588</font>", RGB(211, 211, 211)},
      {L"<font color=grey>\u2588\u2588\u2588</font>", RGB(0, 0, 0)},  // not a name here
      {L"<font color=windowtext>\u2588\u2588\u2588</font>", GetSysColor(COLOR_WINDOWTEXT)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    surface_.Fill(RGB(1, 2, 3));
    CMarkupRenderer r;
    r.Measure(dc(), c.markup);
    r.Draw(dc(), RECT{0, 0, 400, 300});
    int hits = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 30; ++x) hits += surface_.Pixel(x, y) == c.colour;
    EXPECT_GT(hits, 10);
  }
}

TEST_F(FeedbackMarkupRendererTest, FileNamesHoldingMarkupShowAsText) {
  const std::wstring name = L"<a href=\"x\">y</a>.ods";
  const std::wstring folder = L"C:\\Out\\&lt;b&gt;";
  const std::wstring message = L"Saved file(s) location is:<br><a href=" +
                               QuoteMarkupAttribute(folder) + L">" + EscapeMarkup(folder) +
                               L"</a> " + EscapeMarkup(name);
  EXPECT_EQ(markup::PlainText(message),
            L"Saved file(s) location is:\r\nC:\\Out\\&lt;b&gt; <a href=\"x\">y</a>.ods");
  CMarkupRenderer r;
  r.Measure(dc(), message);
  r.Draw(dc(), RECT{0, 0, 400, 300});
  ASSERT_EQ(r.link_areas().size(), 1u);  // the name's own anchor is no link
  EXPECT_EQ(r.link_areas()[0].target, folder);
}

TEST_F(FeedbackMarkupRendererTest, MalformedMarkupIsSafe) {
  const std::wstring cases[] = {
      L"<",
      L"<<<<",
      L"<b",
      L"<a href='never",
      L"</table></tr></td>",
      L"<td>x</td><tr>",
      L"<table><tr><td colspan=2147483647 rowspan=-2147483648>x</td></tr></table>",
      L"<table><tr><td colspan=0x7fffffff>x<td colspan=300>y</table>",
      L"<table cellpadding=99999999 cellspacing=99999999 border=99999999><tr><td>x</table>",
      L"<table><table><table><table><table><table><table><table><table><table><table><table>"
      L"<table><table><table><table><table><table><table><table>x",
      L"<hr width=999999999 size=999999999>",
      L"<hr width=500%>",
      L"<bmp handle=0x12345678><icon handle=0xDEADBEEF><ilst index=99999999>",
      L"<ilst handle=0 cx=0 cy=-5 index=-1>",
      L"<string idres=70000><string idres=1>",
      L"<font size=-99999999999999999999999 face='' color=#zzzzzz>x",
      L"<span class=nothing>x</span></span></span>",
      L"&amp&lt&gt;&;&#60;",
      L"<t=99999999999999>x<br=99999999999999>",
  };
  for (const std::wstring& c : cases) {
    SCOPED_TRACE(c);
    CMarkupRenderer r;
    const SIZE size = r.Measure(dc(), c);
    EXPECT_LT(size.cx, 1 << 25);
    EXPECT_LT(size.cy, 1 << 25);
    r.Draw(dc(), RECT{0, 0, 400, 300});
  }
}

// Arbitrary mark-up built from the language's own pieces: measuring and drawing end, and
// every size stays in range.
TEST_F(FeedbackMarkupRendererTest, RandomMarkupMeasuresAndDraws) {
  static const wchar_t* const kPieces[] = {
      L"<",       L">",         L"/",           L"=",          L"'",        L"\"",      L" ",
      L"\n",      L"\t",        L"&",           L"&lt;",       L"&amp;",    L"b",       L"i",
      L"a",       L"br",        L"t",           L"hr",         L"font",     L"table",   L"tr",
      L"td",      L"icon",      L"bmp",         L"ilst",       L"string",   L"span",    L"body",
      L"h1",      L"center",    L"right",       L"justify",    L"href",     L"size",    L"colspan",
      L"rowspan", L"width",     L"cellpadding", L"border",     L"bgeffect", L"bgcolor", L"vbump",
      L"metal",   L"99999999",  L"-7",          L"0x7fffffff", L"3",        L"50%",     L"12pt",
      L"text",    L"word word", L"#ff0000",     L"red",        L"style",    L"bius",    L"valign",
      L"middle"};
  std::mt19937 random(20261210);
  for (int round = 0; round < 400; ++round) {
    std::wstring text;
    const int n = static_cast<int>(random() % 80);
    for (int i = 0; i < n; ++i) text += kPieces[random() % std::size(kPieces)];
    SCOPED_TRACE(text);
    CMarkupRenderer r;
    if (round % 3 == 0) r.SetMaxWidth(static_cast<int>(random() % 200));
    const SIZE size = r.Measure(dc(), text);
    ASSERT_LT(size.cx, 1 << 25);
    ASSERT_LT(size.cy, 1 << 25);
    r.Draw(dc(), RECT{0, 0, 400, 300});
  }
}

TEST_F(FeedbackMarkupRendererTest, WrappingAtAMaximumWidth) {
  CMarkupRenderer r;
  r.SetMaxWidth(60);
  const SIZE size = r.Measure(dc(), L"one two three four five");
  EXPECT_LE(size.cx, 61);
  EXPECT_GE(r.lines().size(), 3u);
  EXPECT_TRUE(r.lines()[0].wrapped);
  EXPECT_FALSE(r.lines().back().wrapped);
  // A word longer than the line is cut inside, one character at least per line.
  CMarkupRenderer narrow;
  narrow.SetMaxWidth(1);
  narrow.Measure(dc(), L"abcdef");
  EXPECT_EQ(narrow.lines().size(), 6u);
}

}  // namespace
}  // namespace velmora
