#include "ui/view/image_button.h"

#include <commctrl.h>

#include "ui/app/visual_style.h"
#include "winfw/bitmaps.h"
#include "winfw/controls.h"

namespace velmora::ui {

bool ImageButton::Create(HWND parent, int id, const std::wstring& text, HFONT font, int image_id) {
  winfw::ControlArgs args;
  args.parent = parent;
  args.id = id;
  args.class_name = winfw::kButtonClass;
  args.text = text;
  args.style = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_OWNERDRAW;
  args.font = font;
  if (!Attach(winfw::CreateControl(args))) return false;
  image_ = winfw::LoadBitmapResource(image_id);
  return true;
}

void ImageButton::Draw(const DRAWITEMSTRUCT& item) const {
  const HDC dc = item.hDC;
  RECT r = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool focus = (item.itemState & ODS_FOCUS) != 0;

  COLORREF top = RGB(255, 255, 255), bottom = RGB(222, 232, 245);
  COLORREF edge = RGB(112, 140, 180);
  if (disabled) {
    top = RGB(246, 246, 246);
    bottom = RGB(232, 232, 232);
    edge = RGB(180, 180, 180);
  } else if (pressed) {
    top = RGB(255, 214, 140);
    bottom = RGB(255, 236, 190);
    edge = RGB(194, 138, 48);
  } else if (hot_) {
    top = RGB(255, 246, 214);
    bottom = RGB(255, 222, 150);
    edge = RGB(194, 155, 80);
  }
  FillVerticalGradient(dc, r, top, bottom);
  {
    winfw::Pen pen(CreatePen(PS_SOLID, 1, edge));
    winfw::SelectObj select_pen(dc, pen.get());
    winfw::SelectObj select_brush(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, r.left, r.top, r.right, r.bottom, 5, 5);
  }

  const std::wstring text = winfw::WindowText(item.hwndItem);
  const SIZE image = winfw::BitmapSize(image_.get());
  SIZE text_size{};
  winfw::SelectObj select_font(
      dc, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &text_size);
  const int gap = image.cx > 0 && !text.empty() ? 4 : 0;
  const int width = image.cx + gap + text_size.cx;
  const int room = r.right - r.left;
  // With too little room for both, the picture gives way to the text.
  const bool with_image = image.cx > 0 && width + 6 <= room;
  int x = r.left + (room - (with_image ? width : text_size.cx)) / 2 + (pressed ? 1 : 0);
  const int mid = (r.top + r.bottom) / 2 + (pressed ? 1 : 0);
  if (with_image) {
    if (disabled) {
      // A faded picture for a disabled button.
      winfw::DibSurface faded(image.cx, image.cy);
      BitBlt(faded.dc(), 0, 0, image.cx, image.cy, dc, x, mid - image.cy / 2, SRCCOPY);
      winfw::DrawBitmap(faded.dc(), image_.get(), 0, 0);
      BLENDFUNCTION blend{AC_SRC_OVER, 0, 110, 0};
      AlphaBlend(dc, x, mid - image.cy / 2, image.cx, image.cy, faded.dc(), 0, 0, image.cx,
                 image.cy, blend);
    } else {
      winfw::DrawBitmap(dc, image_.get(), x, mid - image.cy / 2);
    }
    x += image.cx + gap;
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, disabled ? RGB(150, 150, 150) : RGB(20, 40, 80));
  RECT text_rect{x, r.top, r.right, r.bottom};
  if (pressed) OffsetRect(&text_rect, 0, 1);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &text_rect,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (focus && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    RECT f = r;
    InflateRect(&f, -3, -3);
    DrawFocusRect(dc, &f);
  }
}

LRESULT ImageButton::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_MOUSEMOVE:
      if (!hot_) {
        hot_ = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd(), 0};
        TrackMouseEvent(&track);
        InvalidateRect(hwnd(), nullptr, FALSE);
      }
      break;
    case WM_MOUSELEAVE:
      hot_ = false;
      InvalidateRect(hwnd(), nullptr, FALSE);
      break;
    case WM_ERASEBKGND:
      return 1;
    default:
      break;
  }
  return Default(message, wparam, lparam);
}

}  // namespace velmora::ui
