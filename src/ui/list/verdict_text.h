// The words the window shows for a file's verdict: one line, the verdict's name followed by the
// repair's summary, as the file's tip, the status bar and the preview pane show it.
#pragma once

#include <windows.h>

#include <string>

#include "engine/job/job_window.h"

namespace velmora::ui {

// "Partly repaired: 3 sheets, 1,612 rows; ..."; the name alone when there is no summary, and
// "" for a file not judged yet.
std::wstring VerdictLine(const FileVerdict& verdict);
// The colour the log gives the verdict: green, orange or red (black for none).
COLORREF VerdictColour(Verdict verdict);
// `text` cut to at most `limit` characters at a blank, ending in "...", so that no number or
// word is shown in part; `text` itself when it fits.
std::wstring FitAtBlank(const std::wstring& text, size_t limit);

}  // namespace velmora::ui
