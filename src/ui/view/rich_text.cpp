#include "ui/view/rich_text.h"

namespace velmora::ui {

CHARFORMATW LogFormat() {
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_BOLD;
  format.dwEffects = CFE_BOLD;
  wcscpy(format.szFaceName, L"Arial");
  return format;
}

CHARFORMATW InstructionFormat() {
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  format.dwMask =
      CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_PROTECTED | CFM_SIZE | CFM_FACE;
  format.dwEffects = 0;
  format.yHeight = 180;  // twips: 9 points
  wcscpy(format.szFaceName, L"Arial");
  return format;
}

void AppendLog(HWND log, const std::wstring& text, uint32_t colour) {
  AppendLog(log, {LogPiece{text, colour}});
}

void AppendLog(HWND log, const std::vector<LogPiece>& pieces) {
  AppendLog(log, pieces, 0);
}

size_t AppendLog(HWND log, const std::vector<LogPiece>& pieces, DWORD budget_ms) {
  if (pieces.empty()) return 0;
  const DWORD start = GetTickCount();
  // Each insertion into a visible rich edit scrolls and repaints at once, at a cost that grows
  // with the log; with drawing off the pieces only go into the text, and the log is drawn
  // once at the end.
  SendMessageW(log, WM_SETREDRAW, FALSE, 0);
  const auto before = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  format.dwEffects = 0;  // an explicit colour, not the automatic one
  size_t next = 0;
  std::wstring run;
  while (next < pieces.size()) {
    const uint32_t colour = pieces[next].colour;
    run.clear();
    for (; next < pieces.size() && pieces[next].colour == colour; ++next) run += pieces[next].text;
    CHARRANGE end{};
    end.cpMin = static_cast<LONG>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0));
    end.cpMax = -1;
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    format.crTextColor = colour;
    SendMessageW(log, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(run.c_str()));
    if (budget_ms != 0 && GetTickCount() - start >= budget_ms) break;
  }
  const auto after = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
  SendMessageW(log, EM_LINESCROLL, 0, static_cast<LPARAM>(after - before));
  ShowLastLine(log);
  SendMessageW(log, WM_SETREDRAW, TRUE, 0);
  // The frame too: the scroll bars moved while drawing was off.
  RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  return next;
}

void ShowLastLine(HWND log) {
  SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
}

void SetRichTextWithBold(HWND box, const std::wstring& text, const std::vector<BoldRange>& bold,
                         CHARFORMATW bold_format) {
  SetWindowTextW(box, text.c_str());
  for (const BoldRange& range : bold) {
    CHARRANGE selection{range.begin, range.end};
    SendMessageW(box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    SendMessageW(box, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&bold_format));
  }
}

}  // namespace velmora::ui
