// The verdict on one recovered document, judged once after its extraction and package
// completion from what is in its folder and what extraction said of each entry.
//
// - complete: the parts that hold the user's data came back whole (their CRC-32 matched, or one
//   changed byte was found and undone): content.xml with at least one sheet, styles.xml, and
//   every picture and object the two refer to. The parts that hold none of it (thumbnail,
//   settings.xml, meta.xml, manifest.rdf, the manifest, which completion rebuilds) may be
//   missing; they are named in parts_lost.
// - partial: sheet data came back, not all of it, or not proved whole: content.xml cut at the
//   damage or failing its check, styles.xml lost or damaged, a referenced picture or object
//   missing. `notes` says which.
// - lost: no sheet data came back (no content.xml, or no sheet in it).
// - not repaired: no sheet data, and what came back is a package of another format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/extract/entry_outcome.h"
#include "engine/job/job_window.h"
#include "engine/scan/recovered_entry.h"
#include "engine/verdict/sheet_counter.h"

namespace velmora {

struct DocumentVerdict {
  Verdict verdict = Verdict::kNone;
  std::vector<SheetCount> sheets;
  // Why the document is not complete, one short clause each ("sheet 'Ledger' ends at the
  // damage", "styles.xml is missing"), in the order the summary gives them; for lost and not
  // repaired the one reason ("no sheet data came back (content.xml is missing)").
  std::vector<std::wstring> notes;
  uint64_t pictures_referenced = 0;
  uint64_t pictures_recovered = 0;  // whole, not a stand-in completion wrote
  uint64_t objects_referenced = 0;
  uint64_t objects_recovered = 0;
  // Package names ("/" between folders) of the parts that did not come back whole: every entry
  // found that gave no whole file, the parts every package has (mimetype, content.xml,
  // styles.xml, META-INF/manifest.xml) when none came back, and the referenced pictures and
  // objects that are missing.
  std::vector<std::wstring> parts_lost;
  // A picture of any kind came back (the thumbnail too), so the preview has one to show.
  bool any_picture = false;
};

// Judges the document recovered into `folder` from `entries` (its entries, in order) with one
// outcome per entry; `synthesised` is what package completion wrote into the folder (package
// names), whose pictures are empty stand-ins, not the user's.
DocumentVerdict JudgeDocument(const std::wstring& folder,
                              const std::vector<RecoveredEntry>& entries,
                              const std::vector<EntryOutcome>& outcomes,
                              const std::vector<std::wstring>& synthesised);

}  // namespace velmora
