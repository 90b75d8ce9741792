#include "ui/view/view_layout.h"

namespace velmora::ui {

ViewLayout ComputeViewLayout(int w, int h, bool file_row_visible, bool total_row_visible) {
  // The log's bottom edge: above the progress rows that show, or above the footer; the rows
  // end above the footer, which starts 60 pixels up.
  const int log_bottom = file_row_visible ? h - 107 : total_row_visible ? h - 90 : h - 70;
  // The upper half (list and preview) ends at h / 2, but gives way on a low window so that the
  // log keeps kMinLogHeight; the list keeps kMinListHeight whatever happens.
  int half = h / 2;
  if (log_bottom - (half + 61) < kMinLogHeight) half = log_bottom - 61 - kMinLogHeight;
  if (half - 88 < kMinListHeight) half = 88 + kMinListHeight;
  ViewLayout l{};
  l.select = XYWH(10, 80, 100, 28);
  l.remove = XYWH(115, 80, 100, 28);
  l.repair = XYWH(220, 80, 100, 28);
  l.preview_label = XYWH(w - 210, 95, 90, 16);
  l.file_list = XYWH(10, 113, w - 230, half - 88);
  l.preview = XYWH(w - 210, 113, 200, half - 88);
  l.list_background = {w - 230, half - 73};
  l.save_label = XYWH(10, half + 30, 290, 26);
  l.destination = XYWH(305, half + 32, w - 585, 22);
  l.browse = XYWH(w - 275, half + 30, 50, 26);
  l.save = XYWH(w - 220, half + 30, 70, 26);
  l.media_check = XYWH(w - 145, half + 30, 135, 26);
  l.stop = XYWH(w - 130, h - 40, 60, 30);
  l.exit = XYWH(w - 65, h - 40, 55, 30);
  l.help_box = XYWH(75, h - 50, 310, 45);

  const int top = half + 61;
  const int bottom = log_bottom;
  l.log = XYWH(10, top, w - 20, bottom - top);
  if (!file_row_visible && !total_row_visible) return l;
  int y = bottom + 5;
  if (file_row_visible) {
    l.file_label = XYWH(10, bottom + 5, 150, 18);
    l.file_bar = XYWH(165, bottom + 5, w - 175, 13);
    y = bottom + 28;
  }
  l.total_label = XYWH(10, y, 150, 18);
  l.total_bar = XYWH(165, y, w - 175, 13);
  return l;
}

}  // namespace velmora::ui
