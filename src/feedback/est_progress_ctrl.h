#pragma once
// The progress bar of the main view: a system progress bar ("msctls_progress32") whose
// painting is ours. It fills the bar itself and writes over it, centred and XOR-ed so that
// it reads on both the filled and the empty part, the percentage done and the time of day
// at which the work should end ("37.50% complete. Estimated completion: 14:05:31").
//
// Range and position are set by the owner with the bar's own messages (PBM_SETRANGE,
// PBM_SETPOS); the estimate is worked out while painting, from the first nonzero position
// after ResetEstimate on. Attach takes over the painting of an existing progress bar, Detach
// gives it back.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "winfw/subclassed_window.h"

namespace velmora {

class CEstProgressCtrl : public winfw::SubclassedWindow {
 public:
  // Seconds since 1 January 1970 UTC; -1 when the clock cannot be read.
  using Clock = std::function<std::int64_t()>;

  CEstProgressCtrl();
  ~CEstProgressCtrl() override;

  // Creates the progress bar as a child of `parent` (WS_CHILD is added to `style`) and takes
  // over its painting. False when the window cannot be made.
  bool Create(HWND parent, int id, DWORD style, const RECT& rect);

  // Forgets the estimate: no text until a paint sees a position above 0 again. The owner
  // calls it before setting the range of a new run; the control never does so itself.
  void ResetEstimate();

  // The text drawn over the bar; empty while there is no estimate, or while the range is
  // empty (upper bound 0).
  virtual std::wstring GetProgressText() const;

  // Draws the bar and its text for the present range and position into `dc`, over `client`
  // (the control's client rectangle, or a rectangle of the same size), and updates the
  // estimate. WM_PAINT and WM_PRINTCLIENT both come here.
  void Paint(HDC dc, const RECT& client);

  // The clock the estimate reads (tests put a fixed one in). Default: the system clock.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void UpdateEstimate();

  Clock clock_;

  // Instants are seconds on the clock above (UTC), so that a change of summer time during a
  // run does not move the estimate by an hour; they become local time only in the text.
  double completion_ = 0.0;
  bool completion_valid_ = false;
  double remaining_ = 0.0;  // expected total duration minus elapsed time, in seconds
  bool remaining_valid_ = false;
  double fraction_ = 0.0;  // position / upper bound, as of the last paint
  bool range_empty_ = false;
  std::int64_t start_ = 0;  // first paint after a reset with a position above 0
  bool start_valid_ = false;
};

}  // namespace velmora
