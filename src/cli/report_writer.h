// The command line's --report: what the repair job found and recovered in each file, written as
// one JSON document at the end of the run.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/job/recovery_observer.h"

namespace velmora::cli {

// Collects the FileRecovery of every file the job gets to (on the job's worker thread) and, for
// `repair`, what the save job did with it, and writes them, with every listed file the job did
// not get to, as JSON:
//
//   {"report": "velmora", "version": 2, "command": "repair" | "extract", "stopped": bool,
//    "summary": {"files": n, "complete": n, "partial": n, "lost": n, "not_repaired": n,
//                "saved": n, "not_saved": n},
//    "files": [{"path": text, "reached": bool, "opened": bool, "repaired": bool,
//               "verdict": "complete" | "partial" | "lost" | "not_repaired",
//               "summary": text, "saved": bool | null,
//               "entries": [{"name": text, "header_offset": n, "data_offset": n,
//                            "compressed_size": n, "uncompressed_size": n, "method": n,
//                            "flags": n, "size_source": "header" | "descriptor" | "stream" |
//                            "none", "crc32": "8 hex digits" | null, "crc_matched": bool | null,
//                            "written": bool, "bytes_written": n, "salvaged": bool,
//                            "salvaged_bytes": n, "repaired": bool,
//                            "repair": {"offset": n, "old": n, "new": n} | null,
//                            "output": text | null}, ...],
//               "synthesised": [text, ...],
//               "documents": [{"verdict": "complete" | "partial" | "lost" | "not_repaired",
//                              "reason": text, "package": text | null,
//                              "sheets": [{"name": text, "rows": n, "cells": n,
//                                          "cut": bool}, ...],
//                              "pictures": {"referenced": n, "recovered": n},
//                              "parts_lost": [text, ...],
//                              "first_entry": n, "entries": n, "package_suffix": text,
//                              "synthesised": [text, ...]}, ...]}, ...]}
//
// "summary" counts the listed files by their verdict (a file not reached or not opened is
// not_repaired) and, for repair, the files whose packages were all written ("saved") and the
// others ("not_saved"); extract saves nothing and gives 0 for both. A file's "verdict" is its
// documents' together (complete when all are, partial when one has a package and not all are
// complete, lost when none has sheet data), its "summary" the line the log and the window
// show. "saved" is null for extract and for a file the save job did not report.
// "documents" holds one record per document the file held (several packages back to back
// make several): its verdict (DocumentVerdict: complete, partial with what is missing, lost
// with no sheet data, not_repaired for another format's package), "reason" the clauses that
// keep it from complete ("" when it is), "package" the package written for it (null while the
// save job does not say which), "sheets" each sheet's non-empty rows and cells and whether its
// data ends at the damage, the pictures its sheets and styles refer to and how many came back
// whole, "parts_lost" the package parts that did not come back whole; its entries are
// entries[first_entry, first_entry + entries), it is saved as VONDRELREP_<name> followed by its
// "package_suffix" (and ".ods" when that is not empty), and "synthesised" says what completion
// wrote into it; the file's own "synthesised" is the first document's. A file not reached or
// not opened has no documents.
// "reached" is false for a file the run stopped before; it then has no entries. Entry names are
// given as the package spells them, with "/" between folders. "crc32" is null when the entry's
// CRC-32 is unknown (a bit-3 header whose descriptor was not found), "crc_matched" null when
// nothing was compared. "repaired" says that one changed byte of the entry's data was found
// and undone, so the entry was written whole and matches its CRC-32; "repair" then gives the
// byte's offset in the damaged file, its value there and the value that made it whole. A
// repaired entry is never salvaged. "output" is where the entry's file was written, in the working
// folder (which `repair` removes at the end unless --keep-work).
//
// Text: the file is UTF-8. Entry names, and paths on POSIX, are byte strings: bytes that form
// valid UTF-8 are written as that text; a byte string that is not valid UTF-8 is written with
// every byte above 0x7F as the escape \u0080 to \u00FF of its code unit widened one to one
// (so "caf\xE9" reads back as "café", one character per byte). Paths on Windows are UTF-16 and
// written as UTF-8, an unpaired surrogate as its \uD800 to \uDFFF escape.
class ReportWriter : public RecoveryObserver {
 public:
  // `command` is "repair" or "extract"; `files` the listed paths, in list order.
  ReportWriter(std::string command, std::vector<std::wstring> files);

  void OnFileRecovered(const FileRecovery& recovery) override;
  void OnFileSaved(const FileSave& save) override;

  // The report; `stopped` when the run was stopped before its end.
  std::string Json(bool stopped) const;
  // Writes the report to `path`, replacing any file there. False when it cannot be created or
  // written; platform::LastError() then tells why.
  bool Write(const std::wstring& path, bool stopped) const;

 private:
  mutable std::mutex mutex_;
  std::string command_;
  std::vector<std::wstring> files_;
  std::vector<FileRecovery> recoveries_;  // in the order the job reached them
  std::vector<FileSave> saves_;           // in the order the save job reported them
};

// A JSON string literal, quotes included, for a byte string (see above).
std::string JsonBytes(const std::string& bytes);
// A JSON string literal for a path of this platform.
std::string JsonPath(const std::wstring& path);
// A JSON string literal for a text (a sheet name, a summary): every character as UTF-8.
std::string JsonText(const std::wstring& text);
// The report's word for a verdict.
const char* VerdictWord(Verdict verdict);

}  // namespace velmora::cli
