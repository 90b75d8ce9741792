// The two rich-edit panes of the main view: the activity log, to which the jobs append
// coloured lines, and the instruction box, whose text has bold ranges.
#pragma once

#include <windows.h>

#include <richedit.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/job/job_window.h"

namespace velmora::ui {

// A piece of the log's text in its colour (0x00BBGGRR).
struct LogPiece {
  std::wstring text;
  uint32_t colour;
};

// Appends `text` at the end of the log in `colour` and scrolls by the number of lines it
// added, so that the new lines are in view.
void AppendLog(HWND log, const std::wstring& text, uint32_t colour);
// The same for several pieces in a row, with the log drawn once for all of them.
void AppendLog(HWND log, const std::vector<LogPiece>& pieces);
// The same, stopping once `budget_ms` have passed (checked after each insertion; 0: no
// limit); returns how many pieces were written. Pieces in a row of one colour go in as one
// insertion: each insertion costs about the same whatever its length.
size_t AppendLog(HWND log, const std::vector<LogPiece>& pieces, DWORD budget_ms);

// Replaces the instruction box's text and applies `bold_format` (bold on) to each range.
// Scrolls the log so that its last line shows at the bottom: a log that grew taller, or that
// was scrolled past its end, never looks empty.
void ShowLastLine(HWND log);

void SetRichTextWithBold(HWND box, const std::wstring& text, const std::vector<BoldRange>& bold,
                         CHARFORMATW bold_format);

// The character formats the view starts with: the log's (bold, Arial) and the instruction
// box's (Arial 9 pt, regular).
CHARFORMATW LogFormat();
CHARFORMATW InstructionFormat();

}  // namespace velmora::ui
