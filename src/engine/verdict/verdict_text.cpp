#include "engine/verdict/verdict_text.h"

namespace velmora {
namespace {

const wchar_t* Keyword(Verdict verdict) {
  switch (verdict) {
    case Verdict::kComplete:
      return L"Repaired";
    case Verdict::kPartial:
      return L"Partly repaired";
    default:
      return L"Not repaired";
  }
}

std::wstring Counted(uint64_t n, const wchar_t* one, const wchar_t* many) {
  return GroupedNumber(n) + L" " + (n == 1 ? one : many);
}

// The summary without its keyword and closing dots.
std::wstring Body(const DocumentVerdict& document) {
  if (document.verdict != Verdict::kComplete && document.verdict != Verdict::kPartial) {
    std::wstring reasons;
    for (const std::wstring& note : document.notes)
      reasons += (reasons.empty() ? L"" : L"; ") + note;
    return reasons;
  }
  uint64_t rows = 0;
  for (const SheetCount& sheet : document.sheets) rows += sheet.rows;
  std::wstring body =
      Counted(document.sheets.size(), L"sheet", L"sheets") + L", " + Counted(rows, L"row", L"rows");
  for (const std::wstring& note : document.notes) body += L"; " + note;
  if (document.verdict == Verdict::kComplete && document.pictures_referenced > 0)
    body += L"; " + Counted(document.pictures_referenced, L"picture", L"pictures");
  return body;
}

}  // namespace

std::wstring GroupedNumber(uint64_t value) {
  std::wstring digits = std::to_wstring(value);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, L",");
  return digits;
}

std::wstring DocumentSummary(const DocumentVerdict& document) {
  return std::wstring(Keyword(document.verdict)) + L": " + Body(document) + L"....";
}

FileVerdict FileVerdictOf(const std::vector<DocumentVerdict>& documents) {
  FileVerdict file;
  bool all_complete = !documents.empty();
  bool packaged = false;
  bool lost = false;
  for (const DocumentVerdict& document : documents) {
    file.documents.push_back(document.verdict);
    all_complete = all_complete && document.verdict == Verdict::kComplete;
    packaged =
        packaged || document.verdict == Verdict::kComplete || document.verdict == Verdict::kPartial;
    lost = lost || document.verdict == Verdict::kLost;
  }
  file.verdict = all_complete ? Verdict::kComplete
                 : packaged   ? Verdict::kPartial
                 : lost       ? Verdict::kLost
                              : Verdict::kNotRepaired;
  if (documents.size() == 1) {
    file.summary = DocumentSummary(documents[0]);
    return file;
  }
  file.summary = std::wstring(Keyword(file.verdict)) + L": ";
  for (size_t d = 0; d < documents.size(); ++d) {
    if (d > 0) file.summary += L"; ";
    std::wstring keyword = Keyword(documents[d].verdict);
    keyword[0] = static_cast<wchar_t>(keyword[0] - L'A' + L'a');
    file.summary +=
        L"document " + std::to_wstring(d + 1) + L" (" + keyword + L"): " + Body(documents[d]);
  }
  file.summary += L"....";
  return file;
}

FileVerdict NotRepairedVerdict(const std::wstring& reason) {
  FileVerdict file;
  file.verdict = Verdict::kNotRepaired;
  file.summary = L"Not repaired: " + reason + L"....";
  return file;
}

intptr_t ItemDataOf(const FileVerdict& verdict) {
  switch (verdict.verdict) {
    case Verdict::kComplete:
    case Verdict::kPartial:
      return kItemRepaired;
    case Verdict::kLost:
      return kItemLost;
    default:
      return kItemNotRepaired;
  }
}

int ItemImageOf(const FileVerdict& verdict) {
  switch (verdict.verdict) {
    case Verdict::kComplete:
      return kImageRepaired;
    case Verdict::kPartial:
      return kImagePartlyRepaired;
    default:
      return kImageNotRepaired;
  }
}

uint32_t VerdictColour(Verdict verdict) {
  switch (verdict) {
    case Verdict::kComplete:
      return kGreen;
    case Verdict::kPartial:
      return kOrange;
    default:
      return kRed;
  }
}

std::wstring RepairCountLine(int repaired, int partly, int not_repaired) {
  return L"Repairing process completed: " + std::to_wstring(repaired) + L" repaired, " +
         std::to_wstring(partly) + L" partly repaired, " + std::to_wstring(not_repaired) +
         L" not repaired....\r\n";
}

}  // namespace velmora
