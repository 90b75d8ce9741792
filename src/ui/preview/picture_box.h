// CPictureBox: the preview pane. Shows the picture of the selected repaired file, loaded
// with GDI+, or a two-line hint chosen by the state code its owner passes with every path.
// For a file that held several documents (code 7) a note says so under the picture.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "winfw/subclassed_window.h"

namespace Gdiplus {
class Image;
}

namespace velmora::ui {

class CPictureBox : public winfw::SubclassedWindow {
 public:
  enum Mode { kTopLeft = 0, kCentred = 1, kStretched = 2 };

  CPictureBox();
  ~CPictureBox() override;

  // Drops the picture held, keeps the code, and loads the picture at `path` when a file
  // exists there.
  void SetPicture(const std::wstring& path, int code);
  void set_mode(int mode) { mode_ = mode; }
  int mode() const { return mode_; }
  int code() const { return code_; }
  // A picture object exists and decoded (its status is Ok).
  bool has_picture() const;

  // Paints the pane into `dc`, whose origin is the pane's top-left corner.
  void Paint(HDC dc);

  static const wchar_t* HintText(int code);
  // The note drawn under the picture (or under the hint) for `code`; null for none.
  static const wchar_t* NoteText(int code);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void RedrawOverlappingSiblings();
  // The band at the bottom of `client` that holds `note`, word-wrapped, in `dc`'s font.
  static RECT NoteBand(HDC dc, const RECT& client, const wchar_t* note);

  int code_ = 0;
  std::unique_ptr<Gdiplus::Image> picture_;
  int mode_ = kCentred;
  // GDI+ forgets an image's status once read, so the load's outcome is kept here.
  bool loaded_ = false;
};

}  // namespace velmora::ui
