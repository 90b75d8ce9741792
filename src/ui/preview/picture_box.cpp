#include "ui/preview/picture_box.h"

#include <objidl.h>
// objidl.h first: the lean Windows headers leave out what GDI+ needs.
#include <gdiplus.h>
#include <io.h>

#include <algorithm>

#include "ui/list/verdict_text.h"
#include "winfw/gdi.h"

namespace velmora::ui {
namespace {

// Room around the band's and the mark's text, in pixels.
constexpr int kNoteMargin = 8;
constexpr int kMarkMargin = 4;
// The verdict's colour down the left edge of the band.
constexpr int kStripeWidth = 4;
// A small picture is enlarged at most this many times: more only shows its pixels.
constexpr double kMostEnlargement = 2.0;

constexpr UINT kWrap = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;

// The height `text` takes word-wrapped between `left` and `right`.
int WrappedHeight(HDC dc, const std::wstring& text, int left, int right) {
  RECT r{left, 0, std::max(right, left + 1), 0};
  DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | kWrap);
  return r.bottom - r.top;
}

}  // namespace

const wchar_t* const CPictureBox::kUnreadableHint =
    L"The picture of the selected\n .ods file(s) cannot be shown";
const wchar_t* const CPictureBox::kStoredPictureMark =
    L"picture stored in the file: it may show more than came back";

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

bool CPictureBox::has_picture() const {
  return picture_ != nullptr && loaded_;
}

bool CPictureBox::marks_stored_picture() const {
  return has_picture() && verdict_ != Verdict::kNone && verdict_ != Verdict::kComplete;
}

void CPictureBox::SetPicture(const std::wstring& path, int code) {
  code_ = code;
  picture_.reset();
  loaded_ = false;
  verdict_ = Verdict::kNone;
  verdict_line_.clear();
  if (!path.empty() && _waccess(path.c_str(), 0) == 0) {
    // Gdiplus::Image keeps the file open while it lives; the owner drops it (code 6, empty
    // path) before deleting the working folder.
    picture_ = std::make_unique<Gdiplus::Image>(path.c_str());
    loaded_ = picture_->GetLastStatus() == Gdiplus::Ok;
  }
  // The pane stays opaque whatever it shows: it paints every pixel of itself, and a
  // transparent pane is left out of its parent's clipping, so the view's relayout (a Save's
  // last step) painted its background over the pane, which nothing then repainted.
}

void CPictureBox::SetVerdict(Verdict verdict, const std::wstring& line) {
  verdict_ = verdict;
  verdict_line_ = line;
}

CPictureBox::Layout CPictureBox::ComputeLayout(HDC dc) const {
  Layout l;
  RECT client{};
  GetClientRect(hwnd(), &client);
  const int height = client.bottom - client.top;
  const bool picture = has_picture();

  // The band: the verdict under a picture (without one it stands alone in the body), then
  // the note of several documents.
  if (picture) l.band_text = verdict_line_;
  if (const wchar_t* note = NoteText(code_)) {
    if (!l.band_text.empty()) l.band_text += L"\n";
    l.band_text += note;
  }
  l.band = RECT{client.left, client.bottom, client.right, client.bottom};
  if (!l.band_text.empty()) {
    const int text = WrappedHeight(dc, l.band_text, client.left + kNoteMargin + kStripeWidth,
                                   client.right - kNoteMargin);
    // The band leaves the picture at least half of the pane (the tip has the whole line).
    const int band = std::min(text + 2 * kNoteMargin, picture ? height / 2 : height);
    l.band.top = client.bottom - band;
  }

  l.caption = RECT{client.left, client.top, client.right, client.top};
  if (marks_stored_picture()) {
    const int text = WrappedHeight(dc, kStoredPictureMark, client.left + kMarkMargin,
                                   client.right - kMarkMargin);
    l.caption.bottom = client.top + std::min(text + 2 * kMarkMargin, height / 4);
  }
  l.picture = RECT{client.left, l.caption.bottom, client.right, l.band.top};
  return l;
}

RECT CPictureBox::PictureRect(HDC dc) const {
  if (!has_picture()) return RECT{};
  const RECT area = ComputeLayout(dc).picture;
  const int aw = area.right - area.left;
  const int ah = area.bottom - area.top;
  const int pw = static_cast<int>(picture_->GetWidth());
  const int ph = static_cast<int>(picture_->GetHeight());
  switch (mode_) {
    case kTopLeft:
      return RECT{area.left, area.top, area.left + pw, area.top + ph};
    case kCentred: {
      const int x = area.left + aw / 2 - pw / 2;
      const int y = area.top + ah / 2 - ph / 2;
      return RECT{x, y, x + pw, y + ph};
    }
    case kStretched:
      return area;
    default: {
      if (pw <= 0 || ph <= 0 || aw <= 0 || ah <= 0) return RECT{};
      const double scale =
          std::min({static_cast<double>(aw) / pw, static_cast<double>(ah) / ph, kMostEnlargement});
      const int w = std::max(1, static_cast<int>(pw * scale + 0.5));
      const int h = std::max(1, static_cast<int>(ph * scale + 0.5));
      const int x = area.left + (aw - w) / 2;
      const int y = area.top + (ah - h) / 2;
      return RECT{x, y, x + w, y + h};
    }
  }
}

void CPictureBox::Paint(HDC dc) {
  RECT client{};
  GetClientRect(hwnd(), &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  winfw::SelectObj font(dc, GetStockObject(DEFAULT_GUI_FONT));
  const Layout l = ComputeLayout(dc);
  SetBkMode(dc, TRANSPARENT);

  if (has_picture()) {
    const RECT at = PictureRect(dc);
    Gdiplus::Graphics graphics(dc);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics.SetClip(Gdiplus::Rect(l.picture.left, l.picture.top, l.picture.right - l.picture.left,
                                   l.picture.bottom - l.picture.top));
    graphics.DrawImage(picture_.get(), static_cast<INT>(at.left), static_cast<INT>(at.top),
                       static_cast<INT>(at.right - at.left), static_cast<INT>(at.bottom - at.top));
  } else {
    // No usable picture: the verdict alone, else the hint (a file that did not decode has
    // one of its own; several documents and no picture, the no-picture hint).
    std::wstring text;
    COLORREF colour = GetSysColor(COLOR_BTNTEXT);
    UINT format = 0;
    if (!verdict_line_.empty()) {
      text = verdict_line_;
      colour = VerdictColour(verdict_);
      format = kWrap;
    } else if (picture_ != nullptr) {
      text = kUnreadableHint;
    } else if (const wchar_t* hint =
                   HintText(NoteText(code_) != nullptr ? kPreviewNoPicture : code_)) {
      text = hint;
    }
    if (!text.empty()) {
      RECT r{10, 20, format != 0 ? client.right - 10 : client.right, l.band.top};
      SetTextColor(dc, colour);
      DrawTextW(dc, text.c_str(), -1, &r, format);
    }
  }

  if (l.caption.bottom > l.caption.top) {
    FillRect(dc, &l.caption, GetSysColorBrush(COLOR_INFOBK));
    RECT edge{l.caption.left, l.caption.bottom - 1, l.caption.right, l.caption.bottom};
    FillRect(dc, &edge, GetSysColorBrush(COLOR_BTNSHADOW));
    RECT text{l.caption.left + kMarkMargin, l.caption.top + kMarkMargin,
              l.caption.right - kMarkMargin, l.caption.bottom - kMarkMargin};
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    DrawTextW(dc, kStoredPictureMark, -1, &text, kWrap);
  }
  if (l.band.bottom > l.band.top) {
    FillRect(dc, &l.band, GetSysColorBrush(COLOR_INFOBK));
    RECT edge{l.band.left, l.band.top, l.band.right, l.band.top + 1};
    FillRect(dc, &edge, GetSysColorBrush(COLOR_BTNSHADOW));
    const bool stripe = has_picture() && !verdict_line_.empty();
    if (stripe) {
      winfw::Brush brush(CreateSolidBrush(VerdictColour(verdict_)));
      RECT bar{l.band.left, l.band.top + 1, l.band.left + kStripeWidth, l.band.bottom};
      FillRect(dc, &bar, brush.get());
    }
    RECT text{l.band.left + kNoteMargin + kStripeWidth, l.band.top + kNoteMargin,
              l.band.right - kNoteMargin, l.band.bottom - kNoteMargin};
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    DrawTextW(dc, l.band_text.c_str(), -1, &text, kWrap);
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
