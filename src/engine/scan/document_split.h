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
// (also for no entries). Entry order alone never begins a document (writers store the parts in
// many orders, "mimetype" first or not); a repeated part does. A second "mimetype" begins the
// next document there. Another name the current document has seen begins it there when that
// document is complete (it has "content.xml" and "META-INF\manifest.xml"); when it is not, at a
// "mimetype" that came after the name's first entry (the rest of a cut-off package, then the
// next package from its mimetype on), and otherwise not at all: the later entry of the name
// stays with the document.
std::vector<size_t> DocumentStarts(const std::vector<RecoveredEntry>& entries);

// What tells the further documents of a file apart, in folder and package names: "" for the
// first (document 0), "~2" for the second, "~3" for the third, ... The working folder holds
// document k of the file at list position i with file name F as F, i and this suffix; it is
// saved as "VONDRELREP_" F, and for k >= 1 this suffix and ".ods" ("VONDRELREP_Budget.ods~2.ods",
// which sorts right after "VONDRELREP_Budget.ods").
std::wstring DocumentSuffix(size_t document);

}  // namespace velmora
