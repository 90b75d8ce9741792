#pragma once
// Drives a modal box of this thread from inside its own message loop: a thread timer finds
// the box and runs one step per tick while it is open. A box still open a few seconds
// after the last step is ended with kBoxDriverGaveUp, so a test fails instead of hanging.

#include <windows.h>

#include <functional>
#include <vector>

namespace velmora::test {

constexpr int kBoxDriverGaveUp = 0xBAD;

class BoxDriver {
 public:
  using Step = std::function<void(HWND box)>;
  explicit BoxDriver(std::vector<Step> steps);
  ~BoxDriver();
  int boxes_seen() const { return boxes_seen_; }
  bool finished() const { return next_ >= steps_.size(); }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  std::vector<Step> steps_;
  size_t next_ = 0;
  int boxes_seen_ = 0;
  int idle_ticks_ = 0;
  HWND last_box_ = nullptr;
  UINT_PTR timer_ = 0;
};

// The visible dialog (#32770) of this thread, or null.
HWND FindThreadBox();

}  // namespace velmora::test
