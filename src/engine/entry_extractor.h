// Extraction of the entries the scanner found into the file's folder of the working folder.
#pragma once

#include <string>

#include "engine/job_window.h"
#include "engine/recovered_entry.h"

namespace velmora {

// Extracts every entry of the view's entry list, in list order, into `folder`, creating
// sub-folders along the names (CreatePathDirectories). The file bar counts the entries: range
// n, then position 0, the index of each entry once done, and n at the end. Entries that cannot
// be extracted simply yield no file.
void ExtractAllEntries(JobWindow& view, std::wstring folder, const std::wstring& damaged_path);

// Extracts one entry to `output_path`. With Z the compressed and U the uncompressed size:
// - Z = U != 0 and not deflated: the Z bytes are copied unchanged (all of them must be there);
// - Z = U = 0: nothing;
// - otherwise the Z bytes go to an "OPC" temporary file and are inflated, reading at most Z
//   bytes of input; the entry's file is exactly the first U bytes of output (U = 0 gives an
//   empty file). A stream that gives fewer than U bytes, breaks off or is not DEFLATE data
//   yields no file.
// Output is written to a partial file beside the target and renamed over it only when the
// entry succeeds, so a failed entry leaves nothing, and an earlier entry of the same name
// keeps its file. Memory is bounded whatever sizes the header claims; nothing is reported.
void ExtractEntry(const std::wstring& damaged_path, const std::wstring& output_path,
                  const RecoveredEntry& entry);

}  // namespace velmora
