#include "winfw/memory_dc.h"

namespace velmora::winfw {

MemoryPaintDc::MemoryPaintDc(HDC target) : target_(target), memory_(target) {
  GetClipBox(target_, &rect_);
  // A printer context is drawn on directly: its pages are not flickering screens.
  offscreen_ = GetDeviceCaps(target_, TECHNOLOGY) != DT_RASPRINTER && memory_;
  if (offscreen_) {
    RECT device = rect_;
    LPtoDP(target_, reinterpret_cast<POINT*>(&device), 2);
    bitmap_.Reset(
        CreateCompatibleBitmap(target_, device.right - device.left, device.bottom - device.top));
    offscreen_ = static_cast<bool>(bitmap_);
  }
  if (offscreen_) {
    previous_ = SelectObject(memory_.get(), bitmap_.get());
    SetMapMode(memory_.get(), GetMapMode(target_));
    SIZE extent{};
    GetWindowExtEx(target_, &extent);
    SetWindowExtEx(memory_.get(), extent.cx, extent.cy, nullptr);
    GetViewportExtEx(target_, &extent);
    SetViewportExtEx(memory_.get(), extent.cx, extent.cy, nullptr);
    SetWindowOrgEx(memory_.get(), rect_.left, rect_.top, nullptr);
  }
  Brush background(CreateSolidBrush(GetBkColor(target_)));
  FillRect(dc(), &rect_, background.get());
}

MemoryPaintDc::~MemoryPaintDc() {
  if (!offscreen_) return;
  BitBlt(target_, rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top,
         memory_.get(), rect_.left, rect_.top, SRCCOPY);
  SelectObject(memory_.get(), previous_);
}

}  // namespace velmora::winfw
