// CTarvikListCtrl: the list of files to repair. One column, the full path as item text, an
// image telling the file's state and item data 1 for a file the last run repaired. Clicks and
// keys ask the parent for the preview of the item (kPreviewRequest). An item's tip and the
// status bar's text under the pointer name the file and what its repair brought back.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/job/job_window.h"
#include "winfw/subclassed_window.h"

namespace velmora::ui {

// Sent to the list's parent with the item's position: show its preview.
inline constexpr UINT kPreviewRequest = WM_USER + 151;

class CTarvikListCtrl : public winfw::SubclassedWindow {
 public:
  // Where the hover text of an item goes (the status bar's message pane).
  void set_status_sink(std::function<void(const std::wstring&)> sink) {
    status_sink_ = std::move(sink);
  }

  int Count() const;
  std::wstring ItemText(int index) const;
  int ItemImage(int index) const;
  LPARAM ItemData(int index) const;
  void SetItemData(int index, LPARAM data);
  // The verdict of the repair, kept beside each item and moving with it.
  FileVerdict ItemVerdict(int index) const;
  void SetItemVerdict(int index, const FileVerdict& verdict);
  // The item's info tip: its path and, on a line of its own, its verdict (VerdictLine).
  std::wstring ItemTip(int index) const;
  // The status bar's text while the pointer is over the item: its path, two blanks and its
  // verdict, as the log writes the file's line.
  std::wstring ItemStatus(int index) const;
  int Append(const std::wstring& text, int image);
  int Insert(int index, const std::wstring& text, int image);
  // The item at `index` becomes what a fresh item inserted there would be: this text and
  // image, item data 0, neither selected nor focused, not the selection mark. Done in place:
  // deleting and inserting would update the scroll bars twice, each time drawn at once.
  void Replace(int index, const std::wstring& text, int image);
  void Delete(int index);
  void DeleteAll();
  int FirstSelected() const;
  // 0 when some item's text equals `path` without regard to case, else 1.
  int IsNewPath(const std::wstring& path) const;

  LRESULT OnReflected(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  int HitItem(POINT client) const;
  void RequestPreview(int index);

  std::function<void(const std::wstring&)> status_sink_;
  std::vector<FileVerdict> verdicts_;  // one per item, in item order
};

}  // namespace velmora::ui
