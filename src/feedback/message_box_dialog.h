#pragma once
// The dialog behind the message box: measures the header, message and footer mark-up,
// creates the buttons and the check box, paints the bands over a cached background, and
// ends with the pressed button's id.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "feedback/markup_renderer.h"
#include "feedback/message_box.h"
#include "winfw/gdi.h"

namespace velmora {

class CMessageBoxDialog {
 public:
  explicit CMessageBoxDialog(const MessageBoxParams& params);
  CMessageBoxDialog(const CMessageBoxDialog&) = delete;
  CMessageBoxDialog& operator=(const CMessageBoxDialog&) = delete;
  ~CMessageBoxDialog();

  // Runs the modal dialog; 2 when it cannot be made.
  int Run();

  // Paints the whole client area (background, header, message, footer) into a DC.
  void Paint(HDC dc);
  HWND window() const { return hwnd_; }
  const CMarkupRenderer& message_renderer() const { return message_renderer_; }
  int footer_height() const { return footer_height_; }

 private:
  struct Button {
    int id;
    HWND window;
    std::wstring caption;
  };

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);
  INT_PTR HandleMessage(UINT message, WPARAM wp, LPARAM lp);
  BOOL OnInitDialog();
  void CreateControls();
  void PlaceControls();
  // The width of the row of buttons, from the left edge of the first one's cell to the right
  // edge of the last one's: the box is at least this plus a gap on each side wide.
  int ButtonRowWidth() const;
  void OnCommand(int id);
  void OnTimer();
  void End(int id);
  void BuildBackground(int width, int height);
  void DrawSeparator(HDC dc, const RECT& band, const MessageBoxArea& area,
                     const std::wstring& caption);
  std::wstring Load(const MessageText& text, size_t limit = 260) const;
  std::wstring ButtonCaption(int id) const;
  int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }
  RECT HeaderRect() const;
  RECT MessageRect() const;
  RECT FooterRect() const;
  int ClientWidth() const;
  // The widest client the box may have: its monitor's work area less the frame.
  int WidestMessage() const;
  void SetCountdownText();
  void SetDefaultButton(int index);

  MessageBoxParams params_;
  HWND hwnd_ = nullptr;
  HWND text_view_ = nullptr;
  std::vector<Button> buttons_;
  HWND check_ = nullptr;
  HWND label_ = nullptr;
  HICON icon_ = nullptr;
  bool icon_owned_ = false;
  winfw::Font font_;
  int dpi_ = 96;
  int header_height_ = 0;
  int message_height_ = 0;
  int strip_height_ = 0;
  int footer_height_ = 0;
  int content_width_ = 0;
  int button_w_ = 80;
  int button_h_ = 23;
  int default_index_ = 0;
  bool closable_ = true;
  bool footer_shown_ = false;
  int countdown_ = 0;
  bool counting_disable_ = false;  // the count-down is a disable time, not a timeout
  std::wstring caption_;
  std::wstring message_;
  std::wstring header_;
  std::wstring footer_;
  std::wstring header_separator_;
  std::wstring controls_separator_;
  std::wstring footer_separator_;
  std::wstring check_text_;
  CMarkupRenderer header_renderer_;
  CMarkupRenderer message_renderer_;
  CMarkupRenderer footer_renderer_;
  winfw::Bitmap background_;
  int background_width_ = 0;
  int background_height_ = 0;
};

}  // namespace velmora
