// Receives what the jobs did with each file, for the command line's report and exit status.
// The window has none; the repair job calls it, when present, after a file's extraction and
// completion, the save job once per listed file.
#pragma once

#include <string>
#include <vector>

#include "engine/extract/entry_outcome.h"
#include "engine/scan/recovered_entry.h"
#include "engine/verdict/document_verdict.h"

namespace velmora {

// One of the documents a file held (DocumentStarts): its entries are
// entries[first_entry, first_entry + entry_count) of the file's.
struct DocumentRecovery {
  size_t first_entry = 0;
  size_t entry_count = 0;
  std::vector<std::wstring> synthesised;  // parts package completion wrote into its folder
  DocumentVerdict verdict;                // judged after extraction and completion
};

struct FileRecovery {
  std::wstring path;                      // the listed path
  bool opened = false;                    // the scan could open the file
  bool repaired = false;                  // the job reported it repaired or partly repaired
  std::vector<RecoveredEntry> entries;    // in discovery order
  std::vector<EntryOutcome> outcomes;     // one per entry, same order
  std::vector<std::wstring> synthesised;  // package parts written or rewritten by completion
                                          // (of the first document)
  // The documents the file held, in order: one for a file of one document (or none found).
  std::vector<DocumentRecovery> documents;
  FileVerdict verdict;  // as the job set it on the file's item
};

// What the save job did with one listed file.
struct FileSave {
  std::wstring path;   // the listed path
  bool saved = false;  // a package was written whole for each of its documents that was not
                       // lost (each logged " saving of file done...."); false when it was not
                       // repaired, every document was lost, the run was stopped before it, or
                       // a package could not be written
  // "Extract Media.." was asked for and a picture could not be copied out (a full disk, a
  // write error, something in the way of the media folder).
  bool media_failed = false;
  // The package written for each document, in the order of their folders; "" for a document
  // that got none (lost, or its package could not be written). Empty when the job did not get
  // to the documents (not repaired, stopped, no folder).
  std::vector<std::wstring> packages;
};

class RecoveryObserver {
 public:
  virtual ~RecoveryObserver() = default;
  // Called on the repair job's worker thread, once per file that the job got to.
  virtual void OnFileRecovered(const FileRecovery& recovery) = 0;
  // Called on the save job's worker thread, once per listed file, in list order, in every run
  // that accepted the destination.
  virtual void OnFileSaved(const FileSave&) {}
};

}  // namespace velmora
