// The names a save run gives its packages and media folders, so that nothing one run writes
// replaces what it wrote before.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace velmora {

// The name under which each listed file is saved, in list order: its own file name, or, when an
// earlier listed file is saved under that name already, the first free "<stem> (k).<ext>"
// (k = 2, 3, ...; "report.ods" gives "report (2).ods", a name without an extension "report (2)").
// Names are compared ignoring ASCII case, as Windows' file systems compare them. The result
// depends on the list alone, so every file of a list gets the same name whichever job (or
// which of the command line's side-by-side jobs) saves it.
std::vector<std::wstring> SaveNames(const std::vector<std::wstring>& listed_paths);

// "<stem> (k).<ext>" of `name`.
std::wstring NumberedName(const std::wstring& name, int k);

// The packages and media folders a save run has taken. The command line's side-by-side jobs of
// one run share one (JobContext::claims); a run without one keeps its own.
class SaveClaims {
 public:
  // Takes every path, or none when this run has taken any of them already. Thread-safe.
  bool ClaimAll(const std::vector<std::wstring>& paths);
  // Gives the paths back (a name the job did not use after all).
  void Release(const std::vector<std::wstring>& paths);

 private:
  std::mutex mutex_;
  std::set<std::wstring> paths_;  // ASCII-lowered
};

}  // namespace velmora
