// The toolbar's "Customize..." dialog: shows, hides and resets the toolbar's buttons.
#pragma once

#include <windows.h>

namespace velmora::ui {

class FrameBars;

void ShowToolbarCustomize(HWND owner, FrameBars& bars);

}  // namespace velmora::ui
