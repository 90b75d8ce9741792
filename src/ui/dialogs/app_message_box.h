// Every message of the program goes through AppMessageBox: a modal box captioned "Velmora".
// Flags as MessageBoxW's (64 = OK with the information icon, 36 = Yes/No with the question
// icon); the result is the id of the button that closed it (6 = Yes). The text may carry the
// mark-up "<br>" (a line break) and a link "<a href='target'>label</a>".
#pragma once

#include <windows.h>

#include <string>

namespace velmora::ui {

int AppMessageBox(HWND parent, const std::wstring& text, unsigned flags);

// The text as the system's box shows it: "<br>" as a line break, a link as its label.
std::wstring PlainMessageText(const std::wstring& text);

}  // namespace velmora::ui
