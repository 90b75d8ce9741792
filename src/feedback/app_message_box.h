#pragma once
// Every message of the program: the message box captioned "Velmora" with the yellow bump
// behind its mark-up text. Flags 64 (OK, information) and 36 (Yes/No, question) are the
// program's; the result 6 is Yes.

#include <windows.h>

#include <string>

#include "feedback/message_box.h"

namespace velmora {

constexpr unsigned kAppBoxInformation = 64;
constexpr unsigned kAppBoxQuestion = 36;

// The record AppMessageBox shows: caption "Velmora", the given text (mark-up) and flags,
// and the message area's vbump in two yellows.
MessageBoxParams AppMessageBoxParams(HWND parent, const std::wstring& text, unsigned flags);

int AppMessageBox(HWND parent, const std::wstring& text, unsigned flags);

}  // namespace velmora
