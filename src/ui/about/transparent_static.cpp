#include "ui/about/transparent_static.h"

#include <string>

#include "winfw/gdi.h"

namespace velmora::ui {

void CTarvikTransparentStatic::Paint(HDC dc, const RECT& client) {
  const int length = GetWindowTextLengthW(hwnd());
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd(), text.data(), length + 1)));
  winfw::SelectObj font(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  RECT box = client;
  // Format 0: left, top, broken only at the text's own line breaks.
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, 0);
}

LRESULT CTarvikTransparentStatic::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      winfw::PaintDc dc(hwnd());
      RECT client;
      GetClientRect(hwnd(), &client);
      Paint(dc.get(), client);
      return 0;
    }
    case WM_PRINTCLIENT: {
      RECT client;
      GetClientRect(hwnd(), &client);
      Paint(reinterpret_cast<HDC>(wparam), client);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // nothing of its own behind the text
    case WM_SETTEXT: {
      const LRESULT result = Default(message, wparam, lparam);
      HWND parent = GetParent(hwnd());
      if (parent != nullptr) {
        RECT under;
        GetWindowRect(hwnd(), &under);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&under), 2);
        // The parent's background first, then this label's new text over it, at once.
        RedrawWindow(parent, &under, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      }
      return result;
    }
    default:
      return Default(message, wparam, lparam);
  }
}

}  // namespace velmora::ui
