// The two steps of repairing one file that talk to the window: the scan, which logs and fills
// the hidden entry list, and the extraction, which moves the file bar. The scan and the
// extraction themselves (scan/, extract/) know nothing of the window.
#pragma once

#include <string>
#include <vector>

#include "engine/extract/byte_repair.h"
#include "engine/extract/entry_extractor.h"
#include "engine/extract/entry_outcome.h"
#include "engine/job/job_context.h"
#include "engine/scan/recovered_entry.h"
#include "platform/platform.h"

namespace velmora {

// Opens `path` for reading with no sharing and scans it (ScanFile), appending every usable
// entry to `entries` and to the view's hidden entry list in the order found. Logs " file is
// open....", then, when the scan has ended (end of file or JobRunning cleared), " file is
// extracted...." and " file is closed....", all black. Returns true when the file could be
// opened, whatever the scan found; when it cannot, shows the system's text for the error in a
// message box with no owner and returns false without logging; with `open_error`, shows no
// box and leaves the system's error code there for the caller to report. Without a stop flag
// in the context the scan runs to the end.
bool ScanArchive(JobWindow& view, const std::wstring& path, const JobContext& context,
                 std::vector<RecoveredEntry>& entries, platform::ErrorCode* open_error = nullptr);

// Extracts every entry of `entries`, in order, into `folder`, creating sub-folders along the
// names (CreatePathDirectories). The file bar counts the entries: range n, then position 0,
// the index of each entry once done, and n at the end (scaled when n does not fit the bar).
// Entries that cannot be extracted simply yield no file. Returns one outcome per entry, in
// order (an entry whose name maps to no file has an empty output path). The data of an entry
// without sizes is taken to end where the next entry's local header begins. An entry that
// fails its CRC-32 may first be searched for one changed byte (ExtractEntry); the searches of
// the file share one budget (`budget`, or one of their own), end when `running` (if given) is
// cleared, and while one runs the file bar shows its progress over a range of 1000, then goes back
// to counting entries. The inflated entries share one temporary file, `scratch` (the run's) or
// one of their own.
std::vector<EntryOutcome> ExtractAllEntries(JobWindow& view, std::wstring folder,
                                            const std::wstring& damaged_path,
                                            const std::vector<RecoveredEntry>& entries,
                                            const JobRunning* running = nullptr,
                                            RepairBudget* budget = nullptr,
                                            InflateScratch* scratch = nullptr);

}  // namespace velmora
