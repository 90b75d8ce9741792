#include "cli/options.h"

namespace velmora::cli {

const wchar_t* const kSeeHelp = L"Try 'velmora --help' for more information.\n";

const wchar_t* const kUsage =
    L"Usage:\n"
    L"  velmora extract FILE... [--into DIR] [--jobs N] [--report JSON]\n"
    L"  velmora repair FILE... --out DEST [--no-media] [--overwrite] [--work DIR]\n"
    L"                 [--keep-work] [--jobs N] [--report JSON]\n"
    L"  velmora --help | --version\n"
    L"\n"
    L"Repairs damaged OpenDocument spreadsheets (.ods). Each FILE is read as raw bytes and\n"
    L"searched for ZIP local headers (the central directory is never trusted); every entry\n"
    L"that can be read is extracted.\n"
    L"\n"
    L"  extract   Scan and extract each FILE into DIR/<name><i>/, where <name> is the file's\n"
    L"            name and <i> its position in the list (0, 1, ...). DIR defaults to the\n"
    L"            current folder and is created when missing; existing files are replaced.\n"
    L"  repair    Scan and extract each FILE, then write the repaired package\n"
    L"            DEST/VONDRELREP_<name> (DEST is created when missing) and copy the\n"
    L"            pictures of each file into DEST/<name>_MediaContent/. A file that\n"
    L"            holds several documents gives one package per document, the further\n"
    L"            ones named DEST/VONDRELREP_<name>~2.ods, ~3.ods, ... Two FILEs of the\n"
    L"            same name are saved as VONDRELREP_<name> and VONDRELREP_<stem> (2).<ext>\n"
    L"            (media folder <stem> (2).<ext>_MediaContent); nothing the run wrote is\n"
    L"            replaced. A package that was in DEST before the run is kept, and the file\n"
    L"            is saved under the next free name, unless --overwrite is given; the log\n"
    L"            names every package written. A file of which no sheet data came back gets\n"
    L"            no package; its pictures are still copied out.\n"
    L"\n"
    L"Options:\n"
    L"  --into DIR    extract: folder for the extracted files (default: current folder)\n"
    L"  --out DEST    repair: folder for the repaired packages (required)\n"
    L"  --no-media    repair: do not copy the pictures out\n"
    L"  --overwrite   repair: replace a package of the same name that was in DEST before\n"
    L"                the run (without it the file gets the next free name)\n"
    L"  --work DIR    repair: keep the working folder in DIR/ClcTemp instead of a private\n"
    L"                folder under the temporary-files folder (DIR/ClcTemp is emptied first)\n"
    L"  --keep-work   repair: leave the working folder in place at the end\n"
    L"  --jobs N      handle N files at once (default: one per processor core). The\n"
    L"                lines of each file are shown together and the files in the\n"
    L"                order given, whatever N is\n"
    L"  --report JSON write a report to the file JSON (replaced if it exists): for each FILE,\n"
    L"                its verdict and its documents' (sheets with their rows and cells,\n"
    L"                pictures, the parts lost), every entry found (offsets, sizes and where\n"
    L"                they came from, method, whether its CRC-32 matched, whether it was\n"
    L"                written or salvaged) and the package parts written to complete it; a\n"
    L"                summary of the run. It is written at the end of the run, also after\n"
    L"                Ctrl+C; when it cannot be written the exit status is 1\n"
    L"  --help        show this text\n"
    L"  --version     show the version\n"
    L"\n"
    L"The log goes to standard output, one line per event; messages and the progress line\n"
    L"go to standard error; a system message about a file starts with 'velmora: FILE: '.\n"
    L"Ctrl+C stops the run: the files not yet handled are reported as not repaired (or not\n"
    L"saved) and the working folder is removed.\n"
    L"\n"
    L"Each file gets a verdict from what came back: \"Repaired....\" (complete: every part\n"
    L"that holds data came back whole), \"Partly repaired: ...\" (sheet data came back, not\n"
    L"all of it: the line says what is missing) or \"Not repaired: ...\" with the reason (no\n"
    L"sheet data came back, so no package is written; or another format's workbook).\n"
    L"\n"
    L"Exit status: 0 when every file came back complete (and, for repair, was saved with all\n"
    L"its pictures); 3 when every file came back with sheet data (and was saved) but some only\n"
    L"in part; 1 when any file was not repaired or not saved, or its pictures could not all\n"
    L"be copied out; 2 for a wrong command line.\n";

namespace {

constexpr unsigned kMaxJobs = 256;

bool ParseJobs(const std::wstring& text, unsigned* jobs) {
  if (text.empty() || text.size() > 3) return false;
  unsigned value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  if (value < 1 || value > kMaxJobs) return false;
  *jobs = value;
  return true;
}

}  // namespace

Options ParseOptions(const std::vector<std::wstring>& args) {
  Options options;
  if (args.empty()) {
    options.error = L"no command given";
    return options;
  }
  const std::wstring& command = args[0];
  if (command == L"--help" || command == L"-h" || command == L"help") {
    options.command = Command::kHelp;
    return options;
  }
  if (command == L"--version") {
    options.command = Command::kVersion;
    return options;
  }
  if (command == L"extract") {
    options.command = Command::kExtract;
  } else if (command == L"repair") {
    options.command = Command::kRepair;
  } else {
    options.error = L"unknown command '" + command + L"'";
    return options;
  }
  const bool repair = options.command == Command::kRepair;
  bool only_files = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (only_files || arg.empty() || arg[0] != L'-' || arg == L"-") {
      options.files.push_back(arg);
      continue;
    }
    auto value = [&](std::wstring* target, const wchar_t* what = L"a folder") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        options.error = arg + L" needs " + what;
        return;
      }
      *target = args[++i];
    };
    if (arg == L"--") {
      only_files = true;
    } else if (arg == L"--help" || arg == L"-h") {
      options.command = Command::kHelp;
      return options;
    } else if (arg == L"--into" && !repair) {
      value(&options.into);
    } else if (arg == L"--out" && repair) {
      value(&options.out);
    } else if (arg == L"--work" && repair) {
      value(&options.work);
    } else if (arg == L"--report") {
      value(&options.report, L"a file");
    } else if (arg == L"--no-media" && repair) {
      options.no_media = true;
    } else if (arg == L"--overwrite" && repair) {
      options.overwrite = true;
    } else if (arg == L"--keep-work" && repair) {
      options.keep_work = true;
    } else if (arg == L"--jobs") {
      std::wstring count;
      value(&count, L"a number");
      if (options.error.empty() && !ParseJobs(count, &options.jobs)) {
        options.error = L"--jobs needs a number from 1 to " + std::to_wstring(kMaxJobs) +
                        L", not '" + count + L"'";
      }
    } else {
      options.error = L"unknown option '" + arg + L"' for " + command;
    }
    if (!options.error.empty()) return options;
  }
  if (options.files.empty())
    options.error = L"no FILE given";
  else if (repair && options.out.empty())
    options.error = L"repair needs --out DEST";
  return options;
}

}  // namespace velmora::cli
