// A second start of the program with files on its command line ("Open with" while a copy
// runs) hands them to the running copy's frame in a WM_COPYDATA message and ends; the frame
// adds them as "Select files" adds the names its dialog returns.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::ui {

// COPYDATASTRUCT::dwData of a hand-over: the data is the full paths, each ended by a null.
inline constexpr ULONG_PTR kCopyDataFiles = 0x564C4D46;

// The running copy's frame (the window of the frame's class), or null.
HWND FindRunningFrame();

// Sends `files` to `frame` and brings it to the front. False when the frame did not take them
// (no such window, or it answered that it did not know the message).
bool HandFilesTo(HWND frame, const std::vector<std::wstring>& files);

// The paths of a hand-over's data (`bytes` long); empty when the data is not one.
std::vector<std::wstring> HandedFiles(const COPYDATASTRUCT& data);

}  // namespace velmora::ui
