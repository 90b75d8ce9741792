// The command line of `velmora`.
#pragma once

#include <string>
#include <vector>

namespace velmora::cli {

enum class Command { kNone, kHelp, kVersion, kExtract, kRepair };

struct Options {
  Command command = Command::kNone;
  std::vector<std::wstring> files;
  std::wstring into;    // extract: where the file folders go
  std::wstring out;     // repair: destination of the packages
  std::wstring work;    // repair: parent of the working folder, instead of a private one
  std::wstring report;  // extract, repair: where the JSON report goes; empty: no report
  bool no_media = false;
  bool keep_work = false;
  bool overwrite = false;  // repair: replace packages that were in DEST before the run
  unsigned jobs = 0;       // files handled at once; 0: one per processor core
  std::wstring error;      // set when the command line is wrong
};

Options ParseOptions(const std::vector<std::wstring>& args);
extern const wchar_t* const kUsage;
// The line after a wrong command line's message.
extern const wchar_t* const kSeeHelp;

}  // namespace velmora::cli
