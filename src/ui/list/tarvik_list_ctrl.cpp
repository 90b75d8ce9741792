#include "ui/list/tarvik_list_ctrl.h"

#include <commctrl.h>
#include <wchar.h>

#include <vector>

#include "ui/list/verdict_text.h"

namespace velmora::ui {
namespace {

// The widest an item's tip grows before its lines wrap, in pixels.
constexpr LPARAM kTipWidth = 600;

}  // namespace

int CTarvikListCtrl::Count() const {
  return static_cast<int>(SendMessageW(hwnd(), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring CTarvikListCtrl::ItemText(int index) const {
  // LVM_GETITEMTEXT answers the length copied; grow until the text fits.
  std::vector<wchar_t> buffer(520);
  for (;;) {
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto n = static_cast<size_t>(
        SendMessageW(hwnd(), LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item)));
    if (n + 1 < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

int CTarvikListCtrl::ItemImage(int index) const {
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = index;
  SendMessageW(hwnd(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

LPARAM CTarvikListCtrl::ItemData(int index) const {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = index;
  if (!SendMessageW(hwnd(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
  return item.lParam;
}

void CTarvikListCtrl::SetItemData(int index, LPARAM data) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = index;
  item.lParam = data;
  SendMessageW(hwnd(), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

FileVerdict CTarvikListCtrl::ItemVerdict(int index) const {
  if (index < 0 || index >= static_cast<int>(verdicts_.size())) return {};
  return verdicts_[static_cast<size_t>(index)];
}

void CTarvikListCtrl::SetItemVerdict(int index, const FileVerdict& verdict) {
  if (index < 0 || index >= static_cast<int>(verdicts_.size())) return;
  verdicts_[static_cast<size_t>(index)] = verdict;
}

std::wstring CTarvikListCtrl::ItemTip(int index) const {
  const std::wstring line = VerdictLine(ItemVerdict(index));
  return line.empty() ? ItemText(index) : ItemText(index) + L"\n" + line;
}

std::wstring CTarvikListCtrl::ItemStatus(int index) const {
  const std::wstring line = VerdictLine(ItemVerdict(index));
  return line.empty() ? ItemText(index) : ItemText(index) + L"  " + line;
}

int CTarvikListCtrl::Insert(int index, const std::wstring& text, int image) {
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  item.iImage = image;
  item.lParam = 0;
  const int at =
      static_cast<int>(SendMessageW(hwnd(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (at >= 0 && at <= static_cast<int>(verdicts_.size()))
    verdicts_.insert(verdicts_.begin() + at, FileVerdict{});
  return at;
}

int CTarvikListCtrl::Append(const std::wstring& text, int image) {
  return Insert(Count(), text, image);
}

void CTarvikListCtrl::Replace(int index, const std::wstring& text, int image) {
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  item.iImage = image;
  item.lParam = 0;
  item.state = 0;
  item.stateMask = static_cast<UINT>(-1);
  if (!SendMessageW(hwnd(), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return;
  SetItemVerdict(index, {});
  if (SendMessageW(hwnd(), LVM_GETSELECTIONMARK, 0, 0) == index)
    SendMessageW(hwnd(), LVM_SETSELECTIONMARK, 0, -1);
}

void CTarvikListCtrl::Delete(int index) {
  if (SendMessageW(hwnd(), LVM_DELETEITEM, index, 0) && index >= 0 &&
      index < static_cast<int>(verdicts_.size()))
    verdicts_.erase(verdicts_.begin() + index);
}

void CTarvikListCtrl::DeleteAll() {
  SendMessageW(hwnd(), LVM_DELETEALLITEMS, 0, 0);
  verdicts_.clear();
}

int CTarvikListCtrl::FirstSelected() const {
  return static_cast<int>(
      SendMessageW(hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int CTarvikListCtrl::IsNewPath(const std::wstring& path) const {
  const int n = Count();
  for (int i = 0; i < n; ++i) {
    if (_wcsicmp(ItemText(i).c_str(), path.c_str()) == 0) return 0;
  }
  return 1;
}

int CTarvikListCtrl::HitItem(POINT client) const {
  LVHITTESTINFO hit{};
  hit.pt = client;
  const auto index =
      static_cast<int>(SendMessageW(hwnd(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  return (hit.flags & LVHT_ONITEM) != 0 ? index : -1;
}

void CTarvikListCtrl::RequestPreview(int index) {
  SendMessageW(GetParent(hwnd()), kPreviewRequest, static_cast<WPARAM>(index), 0);
}

LRESULT CTarvikListCtrl::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_MOUSEMOVE: {
      const DWORD pos = GetMessagePos();
      POINT p{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
      ScreenToClient(hwnd(), &p);
      const int index = HitItem(p);
      if (index >= 0 && status_sink_) {
        if (!ItemText(index).empty()) status_sink_(ItemStatus(index));
      }
      return Default(message, wparam, lparam);
    }
    case WM_LBUTTONDOWN: {
      const LRESULT result = Default(message, wparam, lparam);
      const int index =
          HitItem({static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
      if (index >= 0) RequestPreview(index);
      return result;
    }
    case WM_KEYDOWN:
    case WM_KEYUP: {
      const LRESULT result = Default(message, wparam, lparam);
      const auto mark = static_cast<int>(SendMessageW(hwnd(), LVM_GETSELECTIONMARK, 0, 0));
      if (mark != -1) RequestPreview(mark);
      return result;
    }
    default:
      return Default(message, wparam, lparam);
  }
}

LRESULT CTarvikListCtrl::OnReflected(UINT message, WPARAM, LPARAM lparam, bool& handled) {
  handled = false;
  if (message != WM_NOTIFY) return 0;
  auto* header = reinterpret_cast<NMHDR*>(lparam);
  switch (header->code) {
    case NM_CUSTOMDRAW: {
      handled = true;
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lparam);
      if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
      if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        draw->clrTextBk = RGB(255, 255, 255);
        return CDRF_DODEFAULT;
      }
      return 0;
    }
    case LVN_ITEMCHANGING:
      handled = true;
      return 0;
    case LVN_GETINFOTIPW: {
      handled = true;
      auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(lparam);
      // The tip's verdict is a line of its own: a tooltip breaks lines only once it has a
      // width to wrap at.
      if (const auto tips = reinterpret_cast<HWND>(SendMessageW(hwnd(), LVM_GETTOOLTIPS, 0, 0)))
        SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, kTipWidth);
      if (tip->pszText != nullptr && tip->cchTextMax > 0) {
        // A tip too long for the buffer ends at a blank with "...", never inside a number.
        const std::wstring text =
            FitAtBlank(ItemTip(tip->iItem), static_cast<size_t>(tip->cchTextMax - 1));
        text.copy(tip->pszText, text.size());
        tip->pszText[text.size()] = L'\0';
      }
      return 0;
    }
    default:
      return 0;
  }
}

}  // namespace velmora::ui
