// Several documents in one damaged file: an older copy's bytes left behind a newer one, or two
// packages joined. Their entries must not be mixed, or the later document's parts overwrite
// the earlier's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/scan/recovered_entry.h"

namespace velmora {

// A file yields at most this many documents; the entries of any further one stay with the
// last, as one document's duplicate entries do. A crafted file of many "mimetype" entries so
// makes no more packages than this.
inline constexpr size_t kMaxDocuments = 16;

// The index in `entries` (discovery order) where each document begins; the first is always 0
// (also for no entries). A new document begins at a "mimetype" entry when the current one holds
// a package's parts already ("content.xml", "styles.xml" or "META-INF\manifest.xml"), or at an
// entry whose name the current document has seen when that document is complete (it has
// "content.xml" and "META-INF\manifest.xml"): a package names each part once, so a second run of
// the same names after a complete set is another package.
std::vector<size_t> DocumentStarts(const std::vector<RecoveredEntry>& entries);

// What tells the further documents of a file apart, in folder and package names: "" for the
// first (document 0), "~2" for the second, "~3" for the third, ... The working folder holds
// document k of the file at list position i with file name F as F, i and this suffix; it is
// saved as "VONDRELREP_" F, and for k >= 1 this suffix and ".ods" ("VONDRELREP_Budget.ods~2.ods",
// which sorts right after "VONDRELREP_Budget.ods").
std::wstring DocumentSuffix(size_t document);

}  // namespace velmora
