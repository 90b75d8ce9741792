#include "ui/toolbar_customize.h"

#include "ui/frame_bars.h"

namespace velmora::ui {

void ShowToolbarCustomize(HWND, FrameBars&) {}

}  // namespace velmora::ui
