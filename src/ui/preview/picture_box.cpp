#include "ui/preview/picture_box.h"

#include <objidl.h>
// objidl.h first: the lean Windows headers leave out what GDI+ needs.
#include <gdiplus.h>
#include <io.h>

#include "engine/job/job_window.h"
#include "winfw/gdi.h"

namespace velmora::ui {
namespace {

// Room around the note's text inside its band, in pixels.
constexpr int kNoteMargin = 8;

}  // namespace

CPictureBox::CPictureBox() = default;
CPictureBox::~CPictureBox() = default;

const wchar_t* CPictureBox::HintText(int code) {
  switch (code) {
    case 0:
      return L"No .ods file(s) is available\n in the list";
    case 1:
      return L"Select .ods file(s)\n to repair";
    case 2:
      return L"Please wait while .ods file(s)\n are repairing....";
    case 3:
      return L"Select .ods file(s)\n to see preview";
    case 4:
      return L"No image is present \n in the selected .ods file(s)";
    case 5:
      return L"Selected .ods file(s)\n is not repaired....";
    default:
      return nullptr;
  }
}

const wchar_t* CPictureBox::NoteText(int code) {
  return code == kPreviewSeveralDocuments
             ? L"This file held several documents: each is saved as a package of its own."
             : nullptr;
}

RECT CPictureBox::NoteBand(HDC dc, const RECT& client, const wchar_t* note) {
  RECT text{client.left + kNoteMargin, 0, client.right - kNoteMargin, 0};
  DrawTextW(dc, note, -1, &text, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  const int height = (text.bottom - text.top) + 2 * kNoteMargin;
  return RECT{client.left, client.bottom > height ? client.bottom - height : client.top,
              client.right, client.bottom};
}

bool CPictureBox::has_picture() const {
  return picture_ != nullptr && loaded_;
}

void CPictureBox::SetPicture(const std::wstring& path, int code) {
  code_ = code;
  picture_.reset();
  loaded_ = false;
  if (!path.empty() && _waccess(path.c_str(), 0) == 0) {
    // Gdiplus::Image keeps the file open while it lives; the owner drops it (code 6, empty
    // path) before deleting the working folder.
    picture_ = std::make_unique<Gdiplus::Image>(path.c_str());
    loaded_ = picture_->GetLastStatus() == Gdiplus::Ok;
  }
  if (hwnd() == nullptr) return;
  LONG_PTR ex = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE);
  ex = has_picture() ? (ex & ~WS_EX_TRANSPARENT) : (ex | WS_EX_TRANSPARENT);
  SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, ex);
  SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CPictureBox::Paint(HDC dc) {
  RECT window{};
  GetWindowRect(hwnd(), &window);
  int width = window.right - window.left;
  int height = window.bottom - window.top;
  RECT client{};
  GetClientRect(hwnd(), &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  winfw::SelectObj font(dc, GetStockObject(DEFAULT_GUI_FONT));

  // The note takes the bottom of the pane; the picture keeps to the space above it.
  const wchar_t* note = NoteText(code_);
  RECT band{};
  if (note != nullptr) {
    band = NoteBand(dc, client, note);
    height = band.top - client.top;
    width = client.right - client.left;
  }
  if (picture_ == nullptr) {
    // Several documents and no picture: the no-picture hint above the note.
    if (const wchar_t* hint = HintText(note != nullptr ? kPreviewNoPicture : code_)) {
      RECT text{10, 20, client.right, note != nullptr ? band.top : client.bottom};
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      DrawTextW(dc, hint, -1, &text, 0);
    }
  } else if (loaded_) {  // a file that did not decode: the background alone
    Gdiplus::Graphics graphics(dc);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    if (note != nullptr) graphics.SetClip(Gdiplus::Rect(0, 0, width, height));
    const int pw = static_cast<int>(picture_->GetWidth());
    const int ph = static_cast<int>(picture_->GetHeight());
    switch (mode_) {
      case kTopLeft:
        graphics.DrawImage(picture_.get(), 0, 0, pw, ph);
        break;
      case kCentred:
        graphics.DrawImage(picture_.get(), width / 2 - pw / 2, height / 2 - ph / 2, pw, ph);
        break;
      default:
        graphics.DrawImage(picture_.get(), 0, 0, width, height);
        break;
    }
  }
  if (note != nullptr) {
    FillRect(dc, &band, GetSysColorBrush(COLOR_INFOBK));
    RECT edge{band.left, band.top, band.right, band.top + 1};
    FillRect(dc, &edge, GetSysColorBrush(COLOR_BTNSHADOW));
    RECT text{band.left + kNoteMargin, band.top + kNoteMargin, band.right - kNoteMargin,
              band.bottom - kNoteMargin};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    DrawTextW(dc, note, -1, &text, DT_WORDBREAK | DT_NOPREFIX);
  }
}

void CPictureBox::RedrawOverlappingSiblings() {
  RECT mine{};
  GetWindowRect(hwnd(), &mine);
  bool after = false;
  for (HWND sibling = GetWindow(GetParent(hwnd()), GW_CHILD); sibling != nullptr;
       sibling = GetWindow(sibling, GW_HWNDNEXT)) {
    if (sibling == hwnd()) {
      after = true;
      continue;
    }
    RECT theirs{}, overlap{};
    GetWindowRect(sibling, &theirs);
    if (after && IntersectRect(&overlap, &mine, &theirs)) {
      RECT area{-5, -5, theirs.right - theirs.left + 5, theirs.bottom - theirs.top + 5};
      RedrawWindow(sibling, &area, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    }
  }
}

LRESULT CPictureBox::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      winfw::PaintDc paint(hwnd());
      Paint(paint.get());
      if (has_picture()) RedrawOverlappingSiblings();
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint fills the whole pane
    default:
      return Default(message, wparam, lparam);
  }
}

}  // namespace velmora::ui
