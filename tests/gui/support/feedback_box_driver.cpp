#include "gui/support/feedback_box_driver.h"

namespace velmora::test {

namespace {

BoxDriver* g_driver = nullptr;

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lp) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (IsWindowVisible(hwnd) && lstrcmpW(name, L"#32770") == 0) {
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindThreadBox() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

BoxDriver::BoxDriver(std::vector<Step> steps) : steps_(std::move(steps)) {
  g_driver = this;
  timer_ = SetTimer(nullptr, 0, 30, Tick);
}

BoxDriver::~BoxDriver() {
  KillTimer(nullptr, timer_);
  g_driver = nullptr;
}

void CALLBACK BoxDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
  BoxDriver* self = g_driver;
  if (self == nullptr) return;
  HWND box = FindThreadBox();
  if (box == nullptr) return;
  if (box != self->last_box_) {
    self->last_box_ = box;
    ++self->boxes_seen_;
  }
  if (self->next_ < self->steps_.size()) {
    self->steps_[self->next_++](box);
    self->idle_ticks_ = 0;
  } else if (++self->idle_ticks_ > 150) {
    EndDialog(box, kBoxDriverGaveUp);
  }
}

}  // namespace velmora::test
