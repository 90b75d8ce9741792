#pragma once
// Owners for GDI handles: each frees what it holds exactly once, by the call that matches
// how it was obtained (DeleteObject, DeleteDC, ReleaseDC with the window it came from,
// EndPaint, DestroyIcon), and a selection puts the previous object back before the DC or
// the selected object goes away.

#include <windows.h>

#include <utility>

namespace velmora::winfw {

// A GDI object (font, bitmap, brush, pen, region) that this owner deletes.
template <class Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  ~GdiObject() { Reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void Reset(Handle handle = nullptr) {
    if (handle_ != nullptr && handle_ != handle) DeleteObject(handle_);
    handle_ = handle;
  }
  Handle Release() { return std::exchange(handle_, nullptr); }

 private:
  Handle handle_ = nullptr;
};

using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;
using Brush = GdiObject<HBRUSH>;
using Pen = GdiObject<HPEN>;
using Region = GdiObject<HRGN>;

// Selects an object into a DC and selects the previous one back when it ends. A null
// object selects nothing.
class SelectObj {
 public:
  SelectObj(HDC dc, HGDIOBJ object) : dc_(dc) {
    if (dc_ != nullptr && object != nullptr) old_ = SelectObject(dc_, object);
  }
  SelectObj(const SelectObj&) = delete;
  SelectObj& operator=(const SelectObj&) = delete;
  ~SelectObj() {
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

// A memory DC compatible with another DC (the screen when null).
class MemoryDc {
 public:
  explicit MemoryDc(HDC compatible = nullptr) : dc_(CreateCompatibleDC(compatible)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HDC dc_;
};

// GetDC/ReleaseDC: the release names the same window the DC came from (null = screen).
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }
  HWND window() const { return window_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint/EndPaint for WM_PAINT.
class PaintDc {
 public:
  explicit PaintDc(HWND window) : window_(window) { dc_ = BeginPaint(window_, &ps_); }
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  ~PaintDc() { EndPaint(window_, &ps_); }
  HDC get() const { return dc_; }
  const RECT& paint_rect() const { return ps_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// An icon or cursor made by this program (CreateIconIndirect, CopyIcon, LoadImage without
// LR_SHARED); shared system icons from LoadIcon must not be put in here.
class Icon {
 public:
  Icon() = default;
  explicit Icon(HICON icon) : icon_(icon) {}
  Icon(Icon&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}
  Icon& operator=(Icon&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.icon_, nullptr));
    return *this;
  }
  Icon(const Icon&) = delete;
  Icon& operator=(const Icon&) = delete;
  ~Icon() { Reset(); }
  HICON get() const { return icon_; }
  void Reset(HICON icon = nullptr) {
    if (icon_ != nullptr && icon_ != icon) DestroyIcon(icon_);
    icon_ = icon;
  }

 private:
  HICON icon_ = nullptr;
};

// A top-down 32-bit DIB section selected into its own memory DC: the surface tests and
// off-screen drawing read pixels from directly (0x00RRGGBB per pixel, row 0 at the top).
class DibSurface {
 public:
  DibSurface(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<DWORD*>(bits);
    if (bitmap_ && dc_) old_ = SelectObject(dc_.get(), bitmap_.get());
  }
  DibSurface(const DibSurface&) = delete;
  DibSurface& operator=(const DibSurface&) = delete;
  ~DibSurface() {
    if (old_ != nullptr) SelectObject(dc_.get(), old_);
  }
  HDC dc() const { return dc_.get(); }
  HBITMAP bitmap() const { return bitmap_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }
  // The pixel as a COLORREF (0x00BBGGRR), after GdiFlush so that GDI's batch is done.
  COLORREF Pixel(int x, int y) const {
    GdiFlush();
    const DWORD p = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  DWORD* bits() const { return bits_; }
  void Fill(COLORREF colour) {
    RECT r{0, 0, width_, height_};
    Brush brush(CreateSolidBrush(colour));
    FillRect(dc_.get(), &r, brush.get());
  }

 private:
  int width_;
  int height_;
  MemoryDc dc_;
  Bitmap bitmap_;
  DWORD* bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

}  // namespace velmora::winfw
