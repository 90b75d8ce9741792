#include "ui/rich_text.h"

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
  const auto before = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
  CHARRANGE end{};
  end.cpMin = static_cast<LONG>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0));
  end.cpMax = -1;
  SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  CHARFORMATW format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  format.dwEffects = 0;  // an explicit colour, not the automatic one
  format.crTextColor = colour;
  SendMessageW(log, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  const auto after = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
  SendMessageW(log, EM_LINESCROLL, 0, static_cast<LPARAM>(after - before));
  InvalidateRect(log, nullptr, TRUE);
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
