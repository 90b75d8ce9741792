// The shape of a picture as a window region: every pixel except those of one colour, for
// windows whose outline is drawn in their bitmap (the splash screen's magenta holes).
#pragma once

#include <windows.h>

#include "winfw/gdi.h"

namespace velmora::winfw {

// The region, in the bitmap's pixel coordinates, of the pixels whose colour is not
// `transparent`. An empty region for a bitmap that is all `transparent`; a null one when the
// bitmap cannot be read.
Region RegionFromBitmap(HBITMAP bitmap, COLORREF transparent);

}  // namespace velmora::winfw
