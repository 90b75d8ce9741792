#include "ui/list/verdict_text.h"

#include <wchar.h>

namespace velmora::ui {
namespace {

const wchar_t* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kComplete:
      return L"Repaired";
    case Verdict::kPartial:
      return L"Partly repaired";
    case Verdict::kLost:
    case Verdict::kNotRepaired:
      return L"Not repaired";
    case Verdict::kNone:
      break;
  }
  return L"";
}

}  // namespace

std::wstring VerdictLine(const FileVerdict& verdict) {
  const std::wstring name = VerdictName(verdict.verdict);
  if (name.empty()) return L"";
  if (verdict.summary.empty()) return name;
  // A summary that already names the verdict is not given the name twice.
  if (verdict.summary.size() >= name.size() &&
      _wcsnicmp(verdict.summary.c_str(), name.c_str(), name.size()) == 0)
    return verdict.summary;
  return name + L": " + verdict.summary;
}

COLORREF VerdictColour(Verdict verdict) {
  switch (verdict) {
    case Verdict::kComplete:
      return kGreen;
    case Verdict::kPartial:
      return kOrange;
    case Verdict::kLost:
    case Verdict::kNotRepaired:
      return kRed;
    case Verdict::kNone:
      break;
  }
  return kBlack;
}

std::wstring FitAtBlank(const std::wstring& text, size_t limit) {
  if (text.size() <= limit) return text;
  const std::wstring ellipsis = L"...";
  if (limit < ellipsis.size()) return L"";
  // The last blank that leaves room for the ellipsis; none: the ellipsis alone.
  const size_t room = limit - ellipsis.size();
  const size_t blank = text.find_last_of(L" \n", room);
  if (blank == std::wstring::npos) return ellipsis.substr(0, limit);
  // The ellipsis follows the last whole word, not the blank or the comma after it.
  size_t end = blank;
  while (end > 0 && wcschr(L" \n,;:", text[end - 1]) != nullptr) --end;
  return text.substr(0, end) + ellipsis;
}

}  // namespace velmora::ui
