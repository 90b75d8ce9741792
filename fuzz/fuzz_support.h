// What the fuzz targets share: a scratch tree laid out so that any write outside it can be
// seen, walks of what a job left on disk, and the failure report.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/job/recovery_observer.h"
#include "engine/scan/recovered_entry.h"

namespace velmora::fuzz {

// Prints what went wrong and aborts, which libFuzzer reports as a crash with the input.
[[noreturn]] void Fail(const std::string& what, const std::wstring& detail = L"");

// A scratch folder at the bottom of a chain of single-child folders deeper than any entry
// name can climb: the name is at most 1023 characters, so at most 341 ".." components, and
// the chain has more levels than that. Whatever path a job builds from the file folder
// therefore stays inside the chain, where it shows: every folder of the chain must keep
// its one child and its time stamps, and bottom() must hold only what the target put there.
// The temporary-files folder (TMPDIR) is pointed at bottom()/tmp, so the inflater's "OPC"
// files are watched too, and the working folder at bottom()/ClcTemp. The chain starts in
// $VELMORA_FUZZ_SCRATCH, or else in the temporary-files folder. Removed at exit.
class GuardedScratch {
 public:
  explicit GuardedScratch(const std::string& name);
  ~GuardedScratch();
  GuardedScratch(const GuardedScratch&) = delete;
  GuardedScratch& operator=(const GuardedScratch&) = delete;

  // The scratch folder, without a trailing separator (a /proc/self/fd link to it).
  const std::wstring& bottom() const { return bottom_; }
  std::wstring Path(const std::wstring& name) const;
  std::wstring work() const { return Path(L"ClcTemp"); }
  std::wstring temp() const { return Path(L"tmp"); }

  // Fails unless the chain is as it was made, bottom() holds exactly `expected` (names) and
  // the temporary-files folder is empty.
  void Check(const std::set<std::wstring>& expected) const;

 private:
  struct Stamp {
    ino_t inode;
    nlink_t links;
    int64_t mtime_ns;
    int64_t ctime_ns;
    bool operator==(const Stamp&) const = default;
  };
  Stamp StampOf(size_t level) const;

  std::wstring root_;
  std::wstring bottom_;
  std::vector<std::string> chain_;  // root first, the folder holding bottom() last
  // Open descriptors of the chain's folders: a stat by path would walk hundreds of
  // components for every level.
  std::vector<int> chain_fds_;
  std::vector<Stamp> stamps_;
  int bottom_fd_ = -1;
};

// Every non-folder below `folder`, by relative path with "\" between components (as
// SafeEntryPath writes them), with its size. Fails on anything that is neither a regular
// file nor a folder (the engine makes no links, devices or pipes).
std::map<std::wstring, uint64_t> FilesBelow(const std::wstring& folder);

// Names of the items of a folder.
std::set<std::wstring> ItemsOf(const std::wstring& folder);

// What package completion said it wrote into the file folder of the last file repaired.
class CompletionLog : public RecoveryObserver {
 public:
  std::vector<std::wstring> written;  // of the first document
  // What completion wrote into the folder of each document the file held.
  std::vector<std::vector<std::wstring>> documents;
  void OnFileRecovered(const FileRecovery& recovery) override {
    written = recovery.synthesised;
    documents.clear();
    for (const DocumentRecovery& document : recovery.documents) {
      documents.push_back(document.synthesised);
    }
  }
  const std::vector<std::wstring>& Written(size_t document) const {
    return document < documents.size() ? documents[document] : written;
  }
};

// Checks what the extraction of `entries` from a damaged file of `input_size` bytes, and the
// package completion that followed, left in `file_folder`. `completed` is what completion says
// it wrote (package paths, "/" between folders), and it may write only "mimetype",
// "META-INF/manifest.xml" and empty stand-ins for lost pictures: each must be one of these and
// be there. Every other file is the target of some entry (by its safe path) and no larger
// than the largest uncompressed size an entry of that name claims. An entry whose sizes were
// found nowhere may give what its stream gives, which DEFLATE bounds at 1032 times its input;
// a salvaged XML part gets end tags on top of its prefix. So there are no stray, partial-file
// or misplaced files, and none out of proportion.
void CheckExtracted(const std::wstring& file_folder, const std::vector<RecoveredEntry>& entries,
                    const std::vector<std::wstring>& completed, uint64_t input_size);

bool WriteWholeFile(const std::wstring& path, const uint8_t* data, size_t size);
// False when the file cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string* bytes);

// Narrow text of a path for messages.
std::string Printable(const std::wstring& text);

}  // namespace velmora::fuzz
