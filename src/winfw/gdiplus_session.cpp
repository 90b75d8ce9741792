#include "winfw/gdiplus_session.h"

#include <objidl.h>
// objidl.h first: the lean Windows headers leave out what GDI+ needs.
#include <gdiplus.h>

namespace velmora::winfw {

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
  if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
}

}  // namespace velmora::winfw
