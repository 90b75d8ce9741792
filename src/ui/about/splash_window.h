// CSplashWindow: the borderless picture that fades in over the screen while the main frame
// is made, stays two seconds and fades out. Its window has the picture's shape: the
// picture's magenta pixels are holes in the window region.
#pragma once

#include <windows.h>

#include <string>

#include "winfw/gdi.h"
#include "winfw/window.h"

namespace velmora::ui {

class CSplashWindow : public winfw::Window {
 public:
  // Style flags.
  static constexpr DWORD kFadeIn = 1;
  static constexpr DWORD kFadeOut = 2;
  static constexpr DWORD kShadow = 4;
  static constexpr DWORD kCentreOnScreen = 8;
  static constexpr DWORD kCentreOnParent = 16;
  static constexpr DWORD kHideOnInput = 32;
  static constexpr UINT_PTR kTimerId = 0;

  CSplashWindow();
  ~CSplashWindow() override;

  // Registers "VelmoraSplashClass" and makes the (hidden, empty) top-most popup window.
  bool CreateSplash(HWND parent, const std::wstring& text, UINT timeout_ms, DWORD style);
  // Loads the splash bitmap of the program's resources, as LoadSplashPicture(HBITMAP).
  bool LoadSplashPicture();
  // Takes the picture: sizes and places the window and gives it the picture's shape. False
  // when there is no picture (null); the splash then shows nothing and start-up goes on.
  bool LoadSplashPicture(HBITMAP picture);
  // Shows the window (fading in when asked and possible) and starts the time-out.
  void ShowSplash();
  // The mouse-and-key rule of style 32: true when the message was taken.
  bool PreTranslateMessage(const MSG& msg);

  // Draws the picture and the text as WM_PAINT does.
  void Paint(HDC dc);
  bool has_animate() const { return animate_ != nullptr; }
  POINT position() const { return position_; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  using AnimateFn = BOOL(WINAPI*)(HWND, DWORD, DWORD);
  void HideSplash();

  AnimateFn animate_ = nullptr;
  HWND parent_ = nullptr;
  winfw::Bitmap bitmap_;
  winfw::Font font_;
  DWORD style_ = 0;
  UINT timeout_ms_ = 2000;
  std::wstring text_;
  RECT text_rect_{};
  UINT text_format_ = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  COLORREF text_colour_ = 0;
  SIZE bitmap_size_{};
  POINT position_{};
};

}  // namespace velmora::ui
