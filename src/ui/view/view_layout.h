// Where the main view's controls go for a client size: fixed rules from the window's
// width W and height H, kept apart from the window so that they can be checked on their own.
#pragma once

#include <windows.h>

namespace velmora::ui {

struct ViewLayout {
  RECT select, remove, repair;
  RECT preview_label, file_list, preview;
  RECT save_label, destination, browse, save, media_check;
  RECT stop, exit, help_box;
  RECT log;
  RECT file_label, file_bar;    // only meaningful when the file-progress row shows
  RECT total_label, total_bar;  // only meaningful when the total-progress row shows
  // The list background is scaled to this size: 15 pixels taller than the list.
  SIZE list_background;
};

// (x, y, width, height) as a RECT.
inline RECT XYWH(int x, int y, int width, int height) {
  return {x, y, x + width, y + height};
}

// The log is never lower than this, the list never lower than that: on a low window the list
// gives way to the log first.
inline constexpr int kMinLogHeight = 60;
inline constexpr int kMinListHeight = 40;

ViewLayout ComputeViewLayout(int width, int height, bool file_row_visible, bool total_row_visible);

}  // namespace velmora::ui
