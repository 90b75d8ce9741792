// The frame's toolbar (48 x 48 pictures, tooltips and status-bar prompts from the command
// strings) and its four-pane status bar, both drawn in the colours of the look in force.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "ui/app/visual_style.h"

namespace velmora::ui {

class FrameBars {
 public:
  FrameBars() = default;
  FrameBars(const FrameBars&) = delete;
  FrameBars& operator=(const FrameBars&) = delete;
  ~FrameBars();

  bool Create(HWND frame);
  void SetLook(const LookColours& colours);
  // Resizes both bars to the frame; returns the client area left between them.
  RECT Layout(const RECT& client);

  void SetStatusText(const std::wstring& text);
  std::wstring StatusText() const;
  void EnableCommand(int command, bool enable);
  bool ButtonVisible(int command) const;
  void ShowButton(int command, bool show);
  // Answers the bars' notifications that the frame passes on (custom drawing, tooltips,
  // hot-item prompts); `handled` false leaves the frame's answer.
  LRESULT OnNotify(NMHDR* header, bool& handled);
  void RefreshIndicators();

  HWND toolbar() const { return toolbar_; }
  HWND status_bar() const { return status_; }

  // The prompt (before "\n") and tooltip (after it) of a command string.
  static std::wstring CommandPrompt(int command);
  static std::wstring CommandTip(int command);

 private:
  HWND frame_ = nullptr;
  HWND toolbar_ = nullptr;
  HWND status_ = nullptr;
  HIMAGELIST images_ = nullptr;
  HIMAGELIST disabled_images_ = nullptr;
  LookColours colours_{};
  std::wstring tip_;
};

// The toolbar's buttons, in order.
inline constexpr int kToolbarCommands[] = {32773, 32774, 32775, 32808, 32813, 32788, 32785};

}  // namespace velmora::ui
