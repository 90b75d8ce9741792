// Receives what the repair job recovered from each file, for the command line's report. The
// window has none; the job calls it, when present, after a file's extraction and completion.
#pragma once

#include <string>
#include <vector>

#include "engine/extract/entry_outcome.h"
#include "engine/scan/recovered_entry.h"

namespace velmora {

struct FileRecovery {
  std::wstring path;                      // the listed path
  bool opened = false;                    // the scan could open the file
  bool repaired = false;                  // the job reported it repaired
  std::vector<RecoveredEntry> entries;    // in discovery order
  std::vector<EntryOutcome> outcomes;     // one per entry, same order
  std::vector<std::wstring> synthesised;  // package parts written or rewritten by completion
};

class RecoveryObserver {
 public:
  virtual ~RecoveryObserver() = default;
  // Called on the job's worker thread, once per file that the job got to.
  virtual void OnFileRecovered(const FileRecovery& recovery) = 0;
};

}  // namespace velmora
