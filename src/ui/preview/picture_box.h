// CPictureBox: the preview pane. Shows the picture of the selected repaired file, loaded
// with GDI+, or a two-line hint chosen by the state code its owner passes with every path.
// Under the picture a band tells what the repair brought back of the file (its verdict) and,
// for a file that held several documents (code 7), says so. The picture of a file that did
// not come back whole is marked as the one stored in the file: it shows the file as it was,
// not what was recovered.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "engine/job/job_window.h"
#include "winfw/subclassed_window.h"

namespace Gdiplus {
class Image;
}

namespace velmora::ui {

class CPictureBox : public winfw::SubclassedWindow {
 public:
  // kFitted: as large as the space allows (at most twice its size), its aspect ratio kept,
  // centred. The view shows every picture so; the others are kept for the pane's own tests.
  enum Mode { kTopLeft = 0, kCentred = 1, kStretched = 2, kFitted = 3 };

  CPictureBox();
  ~CPictureBox() override;

  // Drops the picture held and the verdict, keeps the code, and loads the picture at `path`
  // when a file exists there.
  void SetPicture(const std::wstring& path, int code);
  // The verdict of the file shown and its line (VerdictLine); kNone and "" for none.
  void SetVerdict(Verdict verdict, const std::wstring& line);
  void set_mode(int mode) { mode_ = mode; }
  int mode() const { return mode_; }
  int code() const { return code_; }
  Verdict verdict() const { return verdict_; }
  const std::wstring& verdict_line() const { return verdict_line_; }
  // A picture object exists and decoded (its status is Ok).
  bool has_picture() const;
  // The picture is marked as the one stored in the file (a file that is not complete).
  bool marks_stored_picture() const;
  // Where the picture is drawn in the client area (empty without one).
  RECT PictureRect(HDC dc) const;

  // Paints the pane into `dc`, whose origin is the pane's top-left corner.
  void Paint(HDC dc);

  static const wchar_t* HintText(int code);
  // The note drawn under the picture (or under the hint) for `code`; null for none.
  static const wchar_t* NoteText(int code);
  // Shown instead of a picture that exists but does not decode.
  static const wchar_t* const kUnreadableHint;
  // The mark over a picture that may show more than came back.
  static const wchar_t* const kStoredPictureMark;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  struct Layout {
    RECT caption{};  // the stored-picture mark, at the top; empty without it
    RECT band{};     // the verdict and the note, at the bottom; empty without them
    RECT picture{};  // the space left between them
    std::wstring band_text;
  };
  Layout ComputeLayout(HDC dc) const;
  void RedrawOverlappingSiblings();

  int code_ = 0;
  std::unique_ptr<Gdiplus::Image> picture_;
  int mode_ = kCentred;
  // GDI+ forgets an image's status once read, so the load's outcome is kept here.
  bool loaded_ = false;
  Verdict verdict_ = Verdict::kNone;
  std::wstring verdict_line_;
};

}  // namespace velmora::ui
