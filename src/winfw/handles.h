// Owners for kernel and USER handles that are not GDI objects.
#pragma once

#include <windows.h>

#include <utility>

namespace velmora::winfw {

// A kernel handle closed with CloseHandle. Both null and INVALID_HANDLE_VALUE mean "none",
// since the creating calls disagree on which one reports failure.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  void Reset(HANDLE handle = nullptr) {
    if (valid() && handle_ != handle) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A menu that is not attached to a window (a loaded pop-up), destroyed with DestroyMenu.
class UniqueMenu {
 public:
  UniqueMenu() = default;
  explicit UniqueMenu(HMENU menu) : menu_(menu) {}
  UniqueMenu(const UniqueMenu&) = delete;
  UniqueMenu& operator=(const UniqueMenu&) = delete;
  ~UniqueMenu() {
    if (menu_ != nullptr) DestroyMenu(menu_);
  }
  HMENU get() const { return menu_; }
  HMENU Release() { return std::exchange(menu_, nullptr); }

 private:
  HMENU menu_ = nullptr;
};

// Shows the wait cursor while it lives and puts the previous cursor back.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { SetCursor(previous_); }

 private:
  HCURSOR previous_;
};

}  // namespace velmora::winfw
