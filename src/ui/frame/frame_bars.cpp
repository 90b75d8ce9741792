#include "ui/frame/frame_bars.h"

#include "ui/resource_ids.h"
#include "winfw/bitmaps.h"
#include "winfw/controls.h"
#include "winfw/gdi.h"

namespace velmora::ui {

namespace {

constexpr int kImageSize = 48;

std::wstring LoadResourceString(int id) {
  const wchar_t* text = nullptr;
  const int n = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                            reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

// A greyed copy of the toolbar strip for disabled buttons.
HIMAGELIST GreyImages(HBITMAP strip, int count) {
  const SIZE size = winfw::BitmapSize(strip);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  winfw::Bitmap grey(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!grey) return nullptr;
  {
    // Drawn through a DC that lets go of the bitmap before the image list takes it.
    winfw::MemoryDc dc(nullptr);
    winfw::SelectObj select(dc.get(), grey.get());
    RECT all{0, 0, size.cx, size.cy};
    winfw::Brush key(CreateSolidBrush(winfw::kKeyColour));
    FillRect(dc.get(), &all, key.get());
    winfw::DrawBitmap(dc.get(), strip, 0, 0);
    GdiFlush();
  }
  const int stride = (size.cx * 3 + 3) & ~3;
  for (int row = 0; row < size.cy; ++row) {
    auto* p = static_cast<BYTE*>(bits) + static_cast<size_t>(row) * stride;
    for (int x = 0; x < size.cx; ++x, p += 3) {
      const int b = p[0], g = p[1], r = p[2];
      if (r == 255 && g == 0 && b == 255) continue;
      const int y = (r * 30 + g * 59 + b * 11) / 100;
      const auto v = static_cast<BYTE>(150 + y * 100 / 255);  // light and flat
      p[0] = p[1] = p[2] = v;
    }
  }
  HIMAGELIST list = ImageList_Create(kImageSize, kImageSize, ILC_COLOR24 | ILC_MASK, count, 0);
  ImageList_AddMasked(list, grey.get(), winfw::kKeyColour);
  return list;
}

}  // namespace

std::wstring FrameBars::CommandPrompt(int command) {
  const std::wstring s = LoadResourceString(command);
  return s.substr(0, s.find(L'\n'));
}

std::wstring FrameBars::CommandTip(int command) {
  const std::wstring s = LoadResourceString(command);
  const size_t n = s.find(L'\n');
  return n == std::wstring::npos ? s : s.substr(n + 1);
}

FrameBars::~FrameBars() {
  if (images_ != nullptr) ImageList_Destroy(images_);
  if (disabled_images_ != nullptr) ImageList_Destroy(disabled_images_);
}

bool FrameBars::Create(HWND frame) {
  frame_ = frame;
  winfw::ControlArgs args;
  args.parent = frame;
  args.id = ID_FRAME_TOOLBAR;
  args.class_name = winfw::kToolbarClass;
  args.style = WS_VISIBLE | WS_CLIPSIBLINGS | CCS_TOP | CCS_NODIVIDER | TBSTYLE_FLAT |
               TBSTYLE_TOOLTIPS | TBSTYLE_CUSTOMERASE;
  toolbar_ = winfw::CreateControl(args);
  if (toolbar_ == nullptr) return false;
  SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);

  const int count = static_cast<int>(std::size(kToolbarCommands));
  winfw::Bitmap strip = winfw::LoadBitmapResource(IDB_TOOLBAR);
  if (strip) {
    const bool alpha = winfw::HasAlpha(strip.get());
    images_ = ImageList_Create(kImageSize, kImageSize,
                               (alpha ? ILC_COLOR32 : ILC_COLOR24 | ILC_MASK), count, 0);
    if (alpha) {
      ImageList_Add(images_, strip.get(), nullptr);
    } else {
      ImageList_AddMasked(images_, strip.get(), winfw::kKeyColour);
    }
    disabled_images_ = GreyImages(strip.get(), count);
    SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
    SendMessageW(toolbar_, TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(disabled_images_));
  }
  SendMessageW(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(kImageSize, kImageSize));
  TBBUTTON buttons[std::size(kToolbarCommands) + 2] = {};
  int n = 0;
  for (int i = 0; i < count; ++i) {
    // A gap after Repair and after Save groups the list commands, the output and the help.
    if (i == 3 || i == 5) {
      buttons[n].fsStyle = BTNS_SEP;
      buttons[n].iBitmap = 8;
      ++n;
    }
    buttons[n].iBitmap = i;
    buttons[n].idCommand = kToolbarCommands[i];
    buttons[n].fsState = TBSTATE_ENABLED;
    buttons[n].fsStyle = BTNS_BUTTON;
    ++n;
  }
  SendMessageW(toolbar_, TB_ADDBUTTONSW, n, reinterpret_cast<LPARAM>(buttons));
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);

  args.id = ID_FRAME_STATUS_BAR;
  args.class_name = winfw::kStatusBarClass;
  args.style = WS_VISIBLE | SBARS_SIZEGRIP | CCS_BOTTOM;
  status_ = winfw::CreateControl(args);
  if (status_ == nullptr) return false;
  SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(winfw::MessageFont()), FALSE);
  SetStatusText(L"Velmora");
  return true;
}

void FrameBars::SetLook(const LookColours& colours) {
  colours_ = colours;
  if (status_ != nullptr) {
    SendMessageW(status_, SB_SETBKCOLOR, 0, static_cast<LPARAM>(colours.status_back));
  }
  if (toolbar_ != nullptr) InvalidateRect(toolbar_, nullptr, TRUE);
}

RECT FrameBars::Layout(const RECT& client) {
  RECT area = client;
  if (toolbar_ != nullptr) {
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    RECT r{};
    GetWindowRect(toolbar_, &r);
    area.top += r.bottom - r.top;
  }
  if (status_ != nullptr) {
    SendMessageW(status_, WM_SIZE, 0, 0);
    RECT r{};
    GetWindowRect(status_, &r);
    area.bottom -= r.bottom - r.top;
    // Pane 0 is at least 500 pixels wide and takes what the three key indicators at the
    // right edge leave.
    const int width = client.right - client.left;
    const int indicator = 50;
    const int grip = 18;
    int edges[4] = {};
    edges[0] = width - grip - 3 * indicator > 500 ? width - grip - 3 * indicator : 500;
    edges[1] = edges[0] + indicator;
    edges[2] = edges[1] + indicator;
    edges[3] = -1;
    SendMessageW(status_, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(edges));
    RefreshIndicators();
  }
  return area;
}

void FrameBars::RefreshIndicators() {
  if (status_ == nullptr) return;
  struct Indicator {
    int pane, key, text;
  };
  static const Indicator indicators[] = {{1, VK_CAPITAL, ID_INDICATOR_CAPS},
                                         {2, VK_NUMLOCK, ID_INDICATOR_NUM},
                                         {3, VK_SCROLL, ID_INDICATOR_SCRL}};
  for (const Indicator& i : indicators) {
    const bool on = (GetKeyState(i.key) & 1) != 0;
    const std::wstring text = on ? LoadResourceString(i.text) : std::wstring();
    SendMessageW(status_, SB_SETTEXTW, i.pane, reinterpret_cast<LPARAM>(text.c_str()));
  }
}

void FrameBars::SetStatusText(const std::wstring& text) {
  if (status_ == nullptr) return;
  SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
  UpdateWindow(status_);
}

std::wstring FrameBars::StatusText() const {
  if (status_ == nullptr) return std::wstring();
  const auto length = LOWORD(SendMessageW(status_, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(length + 1, L'\0');
  SendMessageW(status_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

void FrameBars::EnableCommand(int command, bool enable) {
  if (toolbar_ != nullptr) SendMessageW(toolbar_, TB_ENABLEBUTTON, command, MAKELPARAM(enable, 0));
}

bool FrameBars::ButtonVisible(int command) const {
  return toolbar_ != nullptr && !SendMessageW(toolbar_, TB_ISBUTTONHIDDEN, command, 0);
}

void FrameBars::ShowButton(int command, bool show) {
  if (toolbar_ != nullptr) SendMessageW(toolbar_, TB_HIDEBUTTON, command, MAKELPARAM(!show, 0));
}

LRESULT FrameBars::OnNotify(NMHDR* header, bool& handled) {
  handled = false;
  if (header->hwndFrom == toolbar_ && header->code == NM_CUSTOMDRAW) {
    auto* draw = reinterpret_cast<NMTBCUSTOMDRAW*>(header);
    handled = true;
    switch (draw->nmcd.dwDrawStage) {
      case CDDS_PREERASE: {
        RECT r{};
        GetClientRect(toolbar_, &r);
        FillVerticalGradient(draw->nmcd.hdc, r, colours_.bar_top, colours_.bar_bottom);
        winfw::Pen pen(CreatePen(PS_SOLID, 1, colours_.edge));
        winfw::SelectObj select(draw->nmcd.hdc, pen.get());
        MoveToEx(draw->nmcd.hdc, r.left, r.bottom - 1, nullptr);
        LineTo(draw->nmcd.hdc, r.right, r.bottom - 1);
        return CDRF_SKIPDEFAULT;
      }
      case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
      case CDDS_ITEMPREPAINT: {
        const UINT state = draw->nmcd.uItemState;
        if ((state & (CDIS_HOT | CDIS_SELECTED)) != 0 && (state & CDIS_DISABLED) == 0) {
          draw->clrHighlightHotTrack = colours_.hot;
          RECT r = draw->nmcd.rc;
          winfw::Brush brush(CreateSolidBrush(colours_.hot));
          winfw::Pen pen(CreatePen(PS_SOLID, 1, colours_.edge));
          winfw::SelectObj select_pen(draw->nmcd.hdc, pen.get());
          winfw::SelectObj select_brush(draw->nmcd.hdc, brush.get());
          RoundRect(draw->nmcd.hdc, r.left, r.top, r.right, r.bottom, 6, 6);
          return TBCDRF_NOEDGES | TBCDRF_NOBACKGROUND | TBCDRF_NOOFFSET;
        }
        return TBCDRF_NOEDGES;
      }
      default:
        return CDRF_DODEFAULT;
    }
  }
  if (header->hwndFrom == toolbar_ && header->code == NM_RCLICK) {
    // The toolbar's own menu: "Customize..." opens the dialog that shows and hides buttons.
    HMENU menu = CreatePopupMenu();
    const std::wstring label = LoadResourceString(IDS_TOOLBAR_CUSTOMIZE);
    AppendMenuW(menu, MF_STRING, ID_VIEW_CUSTOMIZE, label.c_str());
    POINT p{};
    GetCursorPos(&p);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, p.x, p.y, 0, frame_, nullptr);
    DestroyMenu(menu);
    handled = true;
    return TRUE;
  }
  if (header->code == TTN_GETDISPINFOW) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    const int command = static_cast<int>(header->idFrom);
    tip_ = CommandTip(command);
    if (!tip_.empty()) {
      info->lpszText = tip_.data();
      handled = true;
    }
    return 0;
  }
  if (header->hwndFrom == toolbar_ && header->code == TBN_HOTITEMCHANGE) {
    auto* hot = reinterpret_cast<NMTBHOTITEM*>(header);
    if ((hot->dwFlags & HICF_LEAVING) != 0) {
      SetStatusText(L"Velmora");
    } else {
      SetStatusText(CommandPrompt(hot->idNew));
    }
    handled = true;
    return 0;
  }
  return 0;
}

}  // namespace velmora::ui
