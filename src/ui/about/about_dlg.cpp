#include "ui/about/about_dlg.h"

#include <commctrl.h>

#include <iterator>

#include "ui/resource_ids.h"
#include "winfw/bitmaps.h"
#include "winfw/dialog_template.h"
#include "winfw/window.h"

namespace velmora::ui {
namespace {

using winfw::DialogClass;
using winfw::DialogItem;

struct LinkText {
  int id;
  const wchar_t* label;
  const wchar_t* target;
};
constexpr LinkText kLinks[] = {
    {kAboutSiteLink, L"www.velmora.example", L"https://www.velmora.example/"},
    {kAboutSupportLink, L"support@velmora.example", L"mailto:support@velmora.example"},
    {kAboutSalesLink, L"sales@velmora.example", L"mailto:sales@velmora.example"},
};

DialogItem Label(int id, int16_t x, int16_t y, int16_t cx, int16_t cy, DWORD align = SS_LEFT) {
  DialogItem item;
  item.atom = DialogClass::kStatic;
  item.style = align | SS_NOTIFY;
  item.id = static_cast<uint16_t>(id);
  item.x = x;
  item.y = y;
  item.cx = cx;
  item.cy = cy;
  return item;
}

// The button's picture with its magenta see-through pixels turned into the button's face
// colour, since a push button draws a plain bitmap as it is.
HBITMAP OnButtonFace(HBITMAP picture) {
  if (picture == nullptr) return nullptr;
  const SIZE size = winfw::BitmapSize(picture);
  winfw::WindowDc screen(nullptr);
  HBITMAP result = CreateCompatibleBitmap(screen.get(), size.cx, size.cy);
  winfw::MemoryDc dc(screen.get());
  winfw::SelectObj target(dc.get(), result);
  RECT all{0, 0, size.cx, size.cy};
  FillRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
  winfw::DrawBitmap(dc.get(), picture, 0, 0);
  return result;
}

}  // namespace

CAboutDlg::CAboutDlg() = default;

CAboutDlg::~CAboutDlg() {
  if (tooltip_ != nullptr) DestroyWindow(tooltip_);
}

std::vector<uint8_t> CAboutDlg::Template() {
  winfw::DialogSpec spec;
  spec.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  spec.cx = 234;
  spec.cy = 201;
  spec.title = kAboutCaption;
  spec.font_face = L"MS Shell Dlg";
  spec.point_size = 8;
  // The links are fitted to their text exactly: a static that wraps words would push the
  // last letter of an address that fills it to a second, hidden line.
  spec.items = {
      Label(kAboutNameLabel, 40, 68, 184, 10),
      Label(kAboutNoticeLabel, 40, 85, 186, 8),
      Label(kAboutMakerLabel, 59, 99, 155, 8),
      Label(kAboutSiteLink, 76, 114, 94, 8, SS_LEFTNOWORDWRAP),
      Label(kAboutSupportLink, 76, 125, 86, 8, SS_LEFTNOWORDWRAP),
      Label(kAboutSalesLink, 76, 136, 77, 8, SS_LEFTNOWORDWRAP),
  };
  DialogItem ok;
  ok.atom = DialogClass::kButton;
  ok.style = BS_DEFPUSHBUTTON | WS_TABSTOP;
  ok.id = IDOK;
  ok.x = 92;
  ok.y = 184;
  ok.cx = 50;
  ok.cy = 14;
  ok.text = L"OK";
  spec.items.push_back(ok);
  return winfw::BuildDialogTemplate(spec);
}

INT_PTR CAboutDlg::DoModal(HWND owner) {
  return Dialog::DoModal(Template(), owner);
}

void CAboutDlg::OnInitDialog() {
  background_ = winfw::LoadBitmapResource(IDB_ABOUT);
  bold_.Reset(CreateFontW(16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 0x20,
                          L"Arial"));
  const int label_ids[] = {kAboutNameLabel, kAboutNoticeLabel, kAboutMakerLabel};
  for (int i = 0; i < 3; ++i) labels_[i].Attach(GetDlgItem(hwnd(), label_ids[i]));
  // "%s v%d.%d" and "%s Software" with the application's title.
  SetDlgItemTextW(hwnd(), kAboutNameLabel, L"Velmora v1.0");
  SendDlgItemMessageW(hwnd(), kAboutNameLabel, WM_SETFONT, reinterpret_cast<WPARAM>(bold_.get()),
                      TRUE);
  SetDlgItemTextW(hwnd(), kAboutNoticeLabel, L"Copyright \u00A9 2026. All rights reserved.");
  SetDlgItemTextW(hwnd(), kAboutMakerLabel, L"Velmora Software");
  // The links keep their controls (ids and texts), so that a tool which reads the box finds
  // them as plain statics; the link label only adds the look, the cursor and the click.
  for (size_t i = 0; i < std::size(kLinks); ++i) {
    HWND control = GetDlgItem(hwnd(), kLinks[i].id);
    SetWindowTextW(control, kLinks[i].label);
    links_[i].Attach(control);
    links_[i].SetLinkTarget(kLinks[i].target);
    links_[i].SetUnderlineMode(1);
  }
  SetWindowTextW(hwnd(), kAboutCaption);
  // The box opens over the window that asked for it, not at the screen's corner.
  winfw::CentreOnOwner(hwnd(), GetWindow(hwnd(), GW_OWNER));

  HWND ok = GetDlgItem(hwnd(), IDOK);
  ok_image_.Reset(OnButtonFace(winfw::LoadBitmapResource(IDB_BTN_OK).get()));
  if (ok_image_)
    SendMessageW(ok, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(ok_image_.get()));
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0,
                             0, 0, 0, hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
  if (tooltip_ != nullptr) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(ok);
    tool.lpszText = const_cast<wchar_t*>(L"OK");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

bool CAboutDlg::PreTranslateMessage(MSG& msg) {
  // Enter and Escape lose their key code before the dialog manager sees them, so neither
  // presses OK nor cancels.
  if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
    msg.wParam = 0;
  }
  return false;
}

INT_PTR CAboutDlg::HandleMessage(UINT message, WPARAM wparam, LPARAM /*lparam*/) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_ERASEBKGND: {
      if (!background_) return FALSE;
      HDC dc = reinterpret_cast<HDC>(wparam);
      winfw::MemoryDc source(dc);
      winfw::SelectObj picture(source.get(), background_.get());
      const SIZE size = winfw::BitmapSize(background_.get());
      BitBlt(dc, 0, 0, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
      SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, 1);
      return TRUE;
    }
    case WM_PAINT: {
      // The background comes from the erase step inside BeginPaint, before the controls draw
      // themselves; nothing else is drawn here.
      winfw::PaintDc validate(hwnd());
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
      // The labels draw without a background of their own (the links answer this message
      // themselves, before it gets here).
      SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
      return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    }
    case WM_DESTROY:
      for (CLinkLabel& link : links_) link.Detach();
      return FALSE;
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id == IDOK && HIWORD(wparam) == BN_CLICKED) {
        EndDialog(IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {  // only the close button gets here: Escape lost its code
        EndDialog(IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

void ShowAboutBox(HWND owner) {
  CAboutDlg box;
  box.DoModal(owner);
}

}  // namespace velmora::ui
