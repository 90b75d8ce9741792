// The toolbar's "Customize..." dialog: shows, hides and resets the toolbar's buttons.
#pragma once

#include <windows.h>

namespace velmora::ui {

class FrameBars;

// Opens the dialog (modeless; the one already open comes forward) and returns it.
HWND ShowToolbarCustomize(HWND owner, FrameBars& bars);

}  // namespace velmora::ui
