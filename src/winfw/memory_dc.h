// Off-screen drawing for a paint: everything is drawn into a bitmap the size of the clip box
// and copied to the screen in one BitBlt when the object ends, so the background and the
// pictures over it never flicker. Drawing goes through dc() in the paint context's own
// coordinates (the window origin is moved to the clip box's corner).
#pragma once

#include <windows.h>

#include "winfw/gdi.h"

namespace velmora::winfw {

class MemoryPaintDc {
 public:
  explicit MemoryPaintDc(HDC target);
  MemoryPaintDc(const MemoryPaintDc&) = delete;
  MemoryPaintDc& operator=(const MemoryPaintDc&) = delete;
  ~MemoryPaintDc();

  HDC dc() const { return offscreen_ ? memory_.get() : target_; }
  const RECT& rect() const { return rect_; }

 private:
  HDC target_;
  RECT rect_{};
  MemoryDc memory_;
  Bitmap bitmap_;
  HGDIOBJ previous_ = nullptr;
  bool offscreen_ = false;
};

}  // namespace velmora::winfw
