// CVelmoraApp: start-up of the window program. Refuses a second copy, sets up the common
// controls, COM and GDI+, creates the frame with its view, shows it maximised, and then either
// adds the files named on the command line or opens the file dialog at once.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/frame/main_frame.h"
#include "winfw/gdiplus_session.h"

namespace velmora::ui {

class CVelmoraApp {
 public:
  CVelmoraApp();
  ~CVelmoraApp();

  // Everything up to the shown window. False when the program must end at once.
  bool InitInstance(const std::vector<std::wstring>& files, int show = SW_SHOWMAXIMIZED);
  // The message loop; returns the exit code.
  int Run();
  // What the loop does with a message before dispatching it (accelerators, status hints);
  // true when it was consumed.
  bool PreTranslateMessage(MSG& msg);

  CMainFrame* frame() { return frame_.get(); }
  unsigned m_nVisualStyleId = 0;
  bool m_bHighColourToolbar = true;

 private:
  std::unique_ptr<winfw::GdiplusSession> gdiplus_;
  std::unique_ptr<CMainFrame> frame_;
  HACCEL accelerators_ = nullptr;
  bool com_ = false;
};

// The command line's arguments after the program's name, as full paths.
std::vector<std::wstring> CommandLineFiles(int argc, wchar_t** argv);

}  // namespace velmora::ui
