#pragma once
// Opening a link's target with the shell, the fallback through the program registered for
// web pages, and the words for a failed open.

#include <windows.h>

#include <string>

namespace velmora {

// Opens the target ("open" verb). Returns the shell's result: above 32 means success.
int OpenLinkTarget(const std::wstring& target);

// The words for a failed open: "Unable to open hyperlink:\n\n" and the reason for `code`.
std::wstring OpenErrorText(int code);

// Beeps are the caller's; this shows OpenErrorText(code) in the program's message box with
// the exclamation icon and an OK button.
void ReportOpenError(int code, HWND parent = nullptr);

// The hand cursor for links: the system's, else the old help program's hand (copied, so
// the caller owns it; null when neither exists). `owned` tells whether to destroy it.
HCURSOR LoadLinkCursor(bool* owned);

// Tests replace the opener so that no real program starts; null restores the shell.
using LinkOpener = int (*)(const std::wstring& target);
void SetLinkOpenerForTest(LinkOpener opener);

}  // namespace velmora
