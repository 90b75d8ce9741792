// GDI+ is started before the first picture is loaded and shut down after the last one is
// gone: one object of this class lives for the program's (or the test program's) run.
#pragma once

#include <windows.h>

namespace velmora::winfw {

class GdiplusSession {
 public:
  GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  ~GdiplusSession();
  bool ok() const { return token_ != 0; }

 private:
  ULONG_PTR token_ = 0;
};

}  // namespace velmora::winfw
