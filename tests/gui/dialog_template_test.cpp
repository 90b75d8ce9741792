#include "winfw/dialog_template.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using velmora::winfw::BuildDialogTemplate;
using velmora::winfw::DialogClass;
using velmora::winfw::DialogItem;
using velmora::winfw::DialogSpec;

uint16_t WordAt(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
uint32_t DwordAt(const std::vector<uint8_t>& b, size_t at) {
  return WordAt(b, at) | (static_cast<uint32_t>(WordAt(b, at + 2)) << 16);
}

TEST(DialogTemplate, HeaderWithoutFontOrItemsIsTheBareLayout) {
  DialogSpec spec;
  spec.style = WS_POPUP | WS_CAPTION;
  spec.ex_style = WS_EX_TOOLWINDOW;
  spec.x = 1;
  spec.y = -2;
  spec.cx = 234;
  spec.cy = 201;
  spec.title = L"Ab";
  const std::vector<uint8_t> b = BuildDialogTemplate(spec);
  const std::vector<uint8_t> want = {
      0x00, 0x00, 0xC0, 0x80,  // style, without DS_SETFONT since no font is named
      0x80, 0x00, 0x00, 0x00,  // extended style
      0x00, 0x00,              // no items
      0x01, 0x00, 0xFE, 0xFF, 0xEA, 0x00, 0xC9, 0x00,  // x, y, cx, cy
      0x00, 0x00, 0x00, 0x00,                          // no menu, default class
      'A',  0x00, 'b',  0x00, 0x00, 0x00,              // title
  };
  EXPECT_EQ(b, want);
}

TEST(DialogTemplate, FontBlockSetsDsSetFontAndItemsStartOnDwordBoundaries) {
  DialogSpec spec;
  spec.style = WS_POPUP | DS_MODALFRAME;
  spec.title = L"T";  // odd lengths everywhere, so padding is needed
  spec.font_face = L"MS Shell Dlg";
  spec.point_size = 8;
  DialogItem label;
  label.text = L"x";
  label.id = 1003;
  DialogItem custom;
  custom.class_name = L"Link";
  custom.text = L"abc";
  custom.id = 1000;
  spec.items = {label, custom};
  const std::vector<uint8_t> b = BuildDialogTemplate(spec);

  EXPECT_EQ(DwordAt(b, 0) & DS_SETFONT, static_cast<uint32_t>(DS_SETFONT));
  EXPECT_EQ(WordAt(b, 8), 2);
  // Header 18 bytes, menu and class 4, title "T" 4, point size 2, face 13 * 2 = 26: 54,
  // padded to 56 for the first item.
  EXPECT_EQ(WordAt(b, 26), 8);
  const size_t first = 56;
  EXPECT_EQ(DwordAt(b, first), static_cast<uint32_t>(WS_CHILD | WS_VISIBLE));
  EXPECT_EQ(WordAt(b, first + 16), 1003);
  EXPECT_EQ(WordAt(b, first + 18), 0xFFFF);
  EXPECT_EQ(WordAt(b, first + 20), static_cast<uint16_t>(DialogClass::kStatic));
  // Item 18 bytes + class 4 + "x" 4 + creation data 2 = 28 bytes: the next item at 84.
  const size_t second = 84;
  EXPECT_EQ(second % 4, 0u);
  EXPECT_EQ(WordAt(b, second + 16), 1000);
  EXPECT_EQ(WordAt(b, second + 18), 'L');
  EXPECT_EQ(b.size(), second + 18 + 10 + 8 + 2);
}

INT_PTR CALLBACK InitOnlyProc(HWND, UINT msg, WPARAM, LPARAM) {
  return msg == WM_INITDIALOG;
}

// The dialog manager itself reads the bytes: the controls come out with their classes,
// texts, ids and rectangles in dialog units.
TEST(DialogTemplate, TheSystemCreatesTheDialogItDescribes) {
  DialogSpec spec;
  spec.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  spec.cx = 234;
  spec.cy = 201;
  spec.title = L"About Velmora v1.0";
  spec.font_face = L"MS Shell Dlg";
  DialogItem ok;
  ok.atom = DialogClass::kButton;
  ok.style = BS_DEFPUSHBUTTON | WS_TABSTOP;
  ok.x = 92;
  ok.y = 184;
  ok.cx = 50;
  ok.cy = 14;
  ok.id = IDOK;
  ok.text = L"OK";
  DialogItem label;
  label.x = 40;
  label.y = 68;
  label.cx = 184;
  label.cy = 10;
  label.id = 1003;
  label.text = L"Velmora v1.0";
  spec.items = {label, ok};
  const std::vector<uint8_t> bytes = BuildDialogTemplate(spec);

  HWND dlg = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                        reinterpret_cast<const DLGTEMPLATE*>(bytes.data()), nullptr,
                                        InitOnlyProc, 0);
  ASSERT_NE(dlg, nullptr) << GetLastError();
  wchar_t text[64] = {};
  GetWindowTextW(dlg, text, 64);
  EXPECT_STREQ(text, L"About Velmora v1.0");

  struct Expect {
    int id;
    const wchar_t* cls;
    const wchar_t* text;
    RECT units;
  };
  const Expect expects[] = {
      {1003, L"Static", L"Velmora v1.0", {40, 68, 224, 78}},
      {IDOK, L"Button", L"OK", {92, 184, 142, 198}},
  };
  for (const Expect& e : expects) {
    SCOPED_TRACE(e.id);
    HWND item = GetDlgItem(dlg, e.id);
    ASSERT_NE(item, nullptr);
    wchar_t cls[32] = {};
    GetClassNameW(item, cls, 32);
    EXPECT_EQ(_wcsicmp(cls, e.cls), 0) << cls;
    GetWindowTextW(item, text, 64);
    EXPECT_STREQ(text, e.text);
    RECT want = e.units;
    MapDialogRect(dlg, &want);
    RECT got;
    GetWindowRect(item, &got);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
  }
  DestroyWindow(dlg);
}

}  // namespace
