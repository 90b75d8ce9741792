// The words of a verdict: the one-line summary the window shows in an item's tip and under its
// preview, the log line, and the closing count of a repair run.
#pragma once

#include <string>
#include <vector>

#include "engine/job/job_window.h"
#include "engine/verdict/document_verdict.h"

namespace velmora {

// "1,612".
std::wstring GroupedNumber(uint64_t value);

// One document's summary: "Repaired: 3 sheets, 3,000 rows; 2 pictures....", "Partly repaired:
// 3 sheets, 1,612 rows; sheet 'Ledger' ends at the damage; 2 of 3 pictures....", "Not
// repaired: no sheet data came back (content.xml is missing)....".
std::wstring DocumentSummary(const DocumentVerdict& document);

// The file's verdict from its documents': complete when all are, partial when at least one has
// a package and not all are complete, lost when none has sheet data and one is lost, else not
// repaired. The summary is the document's for a file of one; for several, each document's
// after "document N: ", joined by "; ".
FileVerdict FileVerdictOf(const std::vector<DocumentVerdict>& documents);

// The verdict of a file that gave no verdict of its own (not opened, stopped, nothing in it).
FileVerdict NotRepairedVerdict(const std::wstring& reason);

// What the save job may do with the file: kItemRepaired when a document gets a package,
// kItemLost when none has sheet data but one is lost (its pictures are still copied out),
// kItemNotRepaired otherwise.
intptr_t ItemDataOf(const FileVerdict& verdict);
int ItemImageOf(const FileVerdict& verdict);
// The log colour of the file's verdict line.
uint32_t VerdictColour(Verdict verdict);

// "Repairing process completed: 2 repaired, 1 partly repaired, 0 not repaired....\r\n".
std::wstring RepairCountLine(int repaired, int partly, int not_repaired);

}  // namespace velmora
