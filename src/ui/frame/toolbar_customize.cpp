#include "ui/frame/toolbar_customize.h"

#include <string>

#include "ui/frame/frame_bars.h"
#include "ui/resource_ids.h"
#include "winfw/dialog_template.h"

namespace velmora::ui {

namespace {

constexpr int kFirstCheck = 1000;
constexpr int kReset = 990;
constexpr int kCount = static_cast<int>(std::size(kToolbarCommands));

HWND g_open = nullptr;  // one dialog at a time; a second command brings it forward

void LoadChecks(HWND dialog, const FrameBars& bars) {
  for (int i = 0; i < kCount; ++i) {
    CheckDlgButton(dialog, kFirstCheck + i,
                   bars.ButtonVisible(kToolbarCommands[i]) ? BST_CHECKED : BST_UNCHECKED);
  }
}

INT_PTR CALLBACK CustomizeProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* bars = reinterpret_cast<FrameBars*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
      LoadChecks(dialog, *reinterpret_cast<FrameBars*>(lparam));
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (bars == nullptr) return FALSE;
      if (id >= kFirstCheck && id < kFirstCheck + kCount) {
        bars->ShowButton(kToolbarCommands[id - kFirstCheck],
                         IsDlgButtonChecked(dialog, id) == BST_CHECKED);
        SendMessageW(GetParent(bars->toolbar()), WM_SIZE, 0, 0);
        return TRUE;
      }
      if (id == kReset) {
        for (int command : kToolbarCommands) bars->ShowButton(command, true);
        LoadChecks(dialog, *bars);
        SendMessageW(GetParent(bars->toolbar()), WM_SIZE, 0, 0);
        return TRUE;
      }
      if (id == IDCANCEL || id == IDOK) {
        DestroyWindow(dialog);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DESTROY:
      g_open = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND ShowToolbarCustomize(HWND owner, FrameBars& bars) {
  if (g_open != nullptr && IsWindow(g_open)) {
    SetForegroundWindow(g_open);
    return g_open;
  }
  winfw::DialogSpec spec;
  spec.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER;
  spec.title = L"Customize";
  spec.font_face = L"MS Shell Dlg";
  spec.cx = 180;
  spec.cy = static_cast<int16_t>(28 + kCount * 14 + 24);
  winfw::DialogItem heading;
  heading.x = 8;
  heading.y = 7;
  heading.cx = 164;
  heading.cy = 10;
  heading.text = L"Buttons shown on the toolbar:";
  spec.items.push_back(heading);
  for (int i = 0; i < kCount; ++i) {
    winfw::DialogItem check;
    check.style = BS_AUTOCHECKBOX | WS_TABSTOP;
    check.atom = winfw::DialogClass::kButton;
    check.x = 14;
    check.y = static_cast<int16_t>(22 + i * 14);
    check.cx = 158;
    check.cy = 12;
    check.id = static_cast<uint16_t>(kFirstCheck + i);
    std::wstring tip = FrameBars::CommandTip(kToolbarCommands[i]);
    while (!tip.empty() && tip.front() == L' ') tip.erase(0, 1);
    check.text = tip;
    spec.items.push_back(check);
  }
  const int16_t row = static_cast<int16_t>(28 + kCount * 14);
  winfw::DialogItem reset;
  reset.style = BS_PUSHBUTTON | WS_TABSTOP;
  reset.atom = winfw::DialogClass::kButton;
  reset.x = 66;
  reset.y = row;
  reset.cx = 50;
  reset.cy = 14;
  reset.id = kReset;
  reset.text = L"&Reset";
  spec.items.push_back(reset);
  winfw::DialogItem close = reset;
  close.style = BS_DEFPUSHBUTTON | WS_TABSTOP;
  close.x = 122;
  close.id = IDCANCEL;
  close.text = L"Close";
  spec.items.push_back(close);
  const std::vector<uint8_t> bytes = winfw::BuildDialogTemplate(spec);
  g_open = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                      reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
                                      CustomizeProc, reinterpret_cast<LPARAM>(&bars));
  if (g_open != nullptr) ShowWindow(g_open, SW_SHOW);
  return g_open;
}

}  // namespace velmora::ui
