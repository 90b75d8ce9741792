#include "feedback/est_progress_ctrl.h"

#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

#include "winfw/gdi.h"

namespace velmora {

namespace {

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
  // ETO_OPAQUE with an empty text fills without a brush to create and free.
  const COLORREF old = SetBkColor(dc, colour);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, L"", 0, nullptr);
  SetBkColor(dc, old);
}

std::int64_t SystemSeconds() {
  return static_cast<std::int64_t>(_time64(nullptr));
}

// The time of day of `seconds` (UTC) on the local clock, in the user's time format.
std::wstring LocalTimeOfDay(std::int64_t seconds) {
  __time64_t t = seconds;
  std::tm local{};
  if (_localtime64_s(&local, &t) != 0) return {};
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(local.tm_year + 1900);
  st.wMonth = static_cast<WORD>(local.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(local.tm_wday);
  st.wDay = static_cast<WORD>(local.tm_mday);
  st.wHour = static_cast<WORD>(local.tm_hour);
  st.wMinute = static_cast<WORD>(local.tm_min);
  st.wSecond = static_cast<WORD>(local.tm_sec);
  wchar_t buffer[128] = {};
  if (GetTimeFormatW(GetThreadLocale(), 0, &st, nullptr, buffer, 128) == 0) return {};
  return buffer;
}

}  // namespace

CEstProgressCtrl::CEstProgressCtrl() : clock_(SystemSeconds) {}

CEstProgressCtrl::~CEstProgressCtrl() {
  Detach();
}

bool CEstProgressCtrl::Create(HWND parent, int id, DWORD style, const RECT& rect) {
  HWND hwnd = CreateWindowExW(0, PROGRESS_CLASSW, L"", style | WS_CHILD, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              GetModuleHandleW(nullptr), nullptr);
  if (hwnd == nullptr) return false;
  if (!Attach(hwnd)) {
    DestroyWindow(hwnd);
    return false;
  }
  return true;
}

void CEstProgressCtrl::ResetEstimate() {
  start_valid_ = false;
  completion_valid_ = false;
  remaining_valid_ = false;
}

std::wstring CEstProgressCtrl::GetProgressText() const {
  if (!remaining_valid_ || range_empty_) return {};
  wchar_t percent[64] = {};
  std::swprintf(percent, 64, L"%.2f", fraction_ * 100.0);
  return std::wstring(percent) + L"% complete. Estimated completion: " +
         LocalTimeOfDay(std::llround(completion_));
}

void CEstProgressCtrl::UpdateEstimate() {
  if (!(fraction_ > 0.0)) return;
  const std::int64_t now = clock_ ? clock_() : -1;
  if (now < 0) return;
  // A clock set back below the start would give a negative elapsed time and a completion
  // before the start: measure from the present instead.
  if (!start_valid_ || now < start_) {
    start_ = now;
    start_valid_ = true;
  }
  const double elapsed = static_cast<double>(now - start_);
  const double total = elapsed / fraction_;
  completion_ = static_cast<double>(start_) + total;
  completion_valid_ = true;
  remaining_ = total - elapsed;
  remaining_valid_ = true;
}

void CEstProgressCtrl::Paint(HDC dc, const RECT& client) {
  const COLORREF background = GetSysColor(COLOR_BTNFACE);
  const COLORREF bar = GetSysColor(COLOR_HIGHLIGHT);

  // PBM_GETPOS and PBM_GETRANGE answer the bounds as the bar keeps them, 0 to 65535 for
  // PBM_SETRANGE's 16-bit words; the lower bound does not enter the fraction.
  double position = 0.0;
  double upper = 0.0;
  if (hwnd() != nullptr) {
    position = static_cast<double>(static_cast<UINT>(SendMessageW(hwnd(), PBM_GETPOS, 0, 0)));
    PBRANGE range{};
    SendMessageW(hwnd(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    upper = static_cast<double>(range.iHigh);
  }
  // An empty range (upper bound 0) has no fraction: an empty bar without text.
  range_empty_ = !(upper > 0.0);
  fraction_ = range_empty_ ? 0.0 : position / upper;
  if (fraction_ < 0.0) fraction_ = 0.0;
  if (fraction_ > 1.0) fraction_ = 1.0;

  UpdateEstimate();

  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  FillSolid(dc, client, background);
  RECT filled = client;
  filled.right = client.left + static_cast<int>(std::trunc(width * fraction_));
  if (filled.right > client.right) filled.right = client.right;
  if (filled.right > filled.left) FillSolid(dc, filled, bar);
  if (width <= 0 || height <= 0) return;

  const std::wstring text = GetProgressText();
  if (text.empty()) return;

  // The text goes onto black and is XOR-ed onto the bar: over the filled part it comes out
  // white (highlight XOR its complement), over the rest as background XOR that complement,
  // and black pixels leave the screen as it is.
  winfw::MemoryDc memory(dc);
  winfw::Bitmap bitmap(CreateCompatibleBitmap(dc, width, height));
  if (!memory || !bitmap) return;
  winfw::SelectObj bitmap_selection(memory.get(), bitmap.get());
  PatBlt(memory.get(), 0, 0, width, height, BLACKNESS);
  HGDIOBJ font = hwnd() != nullptr
                     ? reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd(), WM_GETFONT, 0, 0))
                     : nullptr;
  // A bar nobody gave a font to writes in the dialog font, not in the DC's bold system font
  // that would not fit a 13-pixel bar.
  if (font == nullptr) font = GetStockObject(DEFAULT_GUI_FONT);
  winfw::SelectObj font_selection(memory.get(), font);
  SetBkMode(memory.get(), TRANSPARENT);
  SetTextColor(memory.get(), ~bar & 0xFFFFFF);
  RECT text_rect{0, 0, width, height};
  DrawTextW(memory.get(), text.c_str(), -1, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  BitBlt(dc, client.left, client.top, width, height, memory.get(), 0, 0, SRCINVERT);
}

LRESULT CEstProgressCtrl::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      RECT client{};
      GetClientRect(hwnd(), &client);
      // Common controls accept a DC in wParam to paint into instead of the window.
      if (wparam != 0) {
        Paint(reinterpret_cast<HDC>(wparam), client);
        return 0;
      }
      winfw::PaintDc paint(hwnd());
      if (paint.get() != nullptr) Paint(paint.get(), client);
      return 0;
    }
    case WM_PRINTCLIENT: {
      RECT client{};
      GetClientRect(hwnd(), &client);
      Paint(reinterpret_cast<HDC>(wparam), client);
      return 0;
    }
    default:
      return Default(message, wparam, lparam);
  }
}

}  // namespace velmora
