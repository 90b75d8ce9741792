#include "cli/report_writer.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

#include "engine/scan/document_split.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace velmora::cli {
namespace {

// Length of the well-formed UTF-8 sequence at bytes[i], or 0 when there is none: no overlong
// forms, no surrogates, nothing above U+10FFFF.
size_t Utf8SequenceLength(const std::string& bytes, size_t i) {
  const auto at = [&bytes](size_t k) { return static_cast<uint8_t>(bytes[k]); };
  const uint8_t lead = at(i);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > bytes.size()) return 0;
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return length;
}

bool IsUtf8(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t n = Utf8SequenceLength(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

void AppendEscape(std::string& out, unsigned code_unit) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", code_unit);
  out += escape;
}

// An ASCII character inside a JSON string.
void AppendAscii(std::string& out, char c) {
  switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (static_cast<uint8_t>(c) < 0x20) {
        AppendEscape(out, static_cast<uint8_t>(c));
      } else {
        out.push_back(c);
      }
  }
}

// A code point inside a JSON string: ASCII with its escapes, the rest as UTF-8.
void AppendUtf8(std::string& out, uint32_t code_point) {
  if (code_point < 0x80) {
    AppendAscii(out, static_cast<char>(code_point));
  } else {
    platform::AppendUtf8(out, code_point);
  }
}

#ifdef _WIN32
// UTF-16 as UTF-8; an unpaired surrogate has no UTF-8 form and is written as its escape.
std::string JsonUtf16(const std::wstring& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t unit = static_cast<uint16_t>(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
        static_cast<uint16_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<uint16_t>(text[i + 1]) <= 0xDFFF) {
      const uint32_t low = static_cast<uint16_t>(text[++i]);
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendEscape(out, unit);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out + "\"";
}
#endif

// An entry name as the package spells it: its bytes (the scanner widened each to one code
// unit) with "/" between folders.
std::string NameBytes(const std::wstring& name) {
  std::string bytes;
  for (wchar_t c : name) {
    const auto unit = static_cast<uint32_t>(c);
    if (c == L'\\') {
      bytes.push_back('/');
    } else if (unit <= 0xFF) {
      bytes.push_back(static_cast<char>(unit));
    } else {
      AppendUtf8(bytes, unit);  // not from a scan; kept readable
    }
  }
  return bytes;
}

const char* SizeSourceText(RecoveredEntry::SizeSource source) {
  switch (source) {
    case RecoveredEntry::SizeSource::kHeader:
      return "header";
    case RecoveredEntry::SizeSource::kDescriptor:
      return "descriptor";
    case RecoveredEntry::SizeSource::kStream:
      return "stream";
    case RecoveredEntry::SizeSource::kNone:
      return "none";
  }
  return "header";
}

const char* Bool(bool value) {
  return value ? "true" : "false";
}

std::string Number(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%" PRIu64, value);
  return text;
}

void AppendEntry(std::string& out, const RecoveredEntry& entry, const EntryOutcome* outcome) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "\"%08" PRIx32 "\"", entry.crc32);
  out += "        {\"name\": " + JsonBytes(NameBytes(entry.name));
  out += ", \"header_offset\": " + Number(entry.header_offset);
  out += ", \"data_offset\": " + Number(entry.data_offset);
  out += ", \"compressed_size\": " + Number(entry.compressed_size);
  out += ", \"uncompressed_size\": " + Number(entry.uncompressed_size);
  out += ", \"method\": " + Number(entry.method);
  out += ", \"flags\": " + Number(entry.flags);
  out += std::string(", \"size_source\": \"") + SizeSourceText(entry.size_source) + "\"";
  out += std::string(", \"crc32\": ") + (entry.crc_known ? crc : "null");
  const bool compared = outcome != nullptr && outcome->crc_checked;
  out += std::string(", \"crc_matched\": ") + (compared ? Bool(outcome->crc_matched) : "null");
  out += std::string(", \"written\": ") + Bool(outcome != nullptr && outcome->written);
  out += ", \"bytes_written\": " + Number(outcome != nullptr ? outcome->bytes_written : 0);
  out += std::string(", \"salvaged\": ") + Bool(outcome != nullptr && outcome->salvaged);
  out += ", \"salvaged_bytes\": " + Number(outcome != nullptr ? outcome->salvaged_bytes : 0);
  const bool repaired = outcome != nullptr && outcome->repaired;
  out += std::string(", \"repaired\": ") + Bool(repaired);
  if (repaired) {
    out += ", \"repair\": {\"offset\": " + Number(outcome->repair_offset) +
           ", \"old\": " + Number(outcome->repair_old) +
           ", \"new\": " + Number(outcome->repair_new) + "}";
  } else {
    out += ", \"repair\": null";
  }
  const bool has_output = outcome != nullptr && !outcome->output_path.empty();
  out += ", \"output\": " + (has_output ? JsonPath(outcome->output_path) : std::string("null"));
  out += "}";
}

void AppendPaths(std::string& out, const std::vector<std::wstring>& paths) {
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) out += ", ";
    out += JsonPath(paths[i]);
  }
}

void AppendNames(std::string& out, const std::vector<std::wstring>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += ", ";
    out += JsonBytes(NameBytes(names[i]));
  }
}

void AppendDocument(std::string& out, const DocumentRecovery& document, size_t index,
                    const FileSave* save) {
  const DocumentVerdict& verdict = document.verdict;
  std::wstring reason;
  for (const std::wstring& note : verdict.notes) reason += (reason.empty() ? L"" : L"; ") + note;
  out += "        {\"verdict\": \"" + std::string(VerdictWord(verdict.verdict)) + "\"";
  out += ", \"reason\": " + JsonText(reason);
  // The package the save job wrote for this document; null when none was written (a lost
  // document, a failed write) or the run did not save.
  const bool packaged =
      save != nullptr && index < save->packages.size() && !save->packages[index].empty();
  out += ", \"package\": " + (packaged ? JsonPath(save->packages[index]) : std::string("null"));
  out += ",\n         \"sheets\": [";
  for (size_t s = 0; s < verdict.sheets.size(); ++s) {
    const SheetCount& sheet = verdict.sheets[s];
    if (s > 0) out += ", ";
    out += "{\"name\": " + JsonText(sheet.name) + ", \"rows\": " + Number(sheet.rows) +
           ", \"cells\": " + Number(sheet.cells) + ", \"cut\": " + Bool(sheet.cut) + "}";
  }
  out += "],\n         \"pictures\": {\"referenced\": " + Number(verdict.pictures_referenced) +
         ", \"recovered\": " + Number(verdict.pictures_recovered) + "}, \"parts_lost\": [";
  AppendNames(out, verdict.parts_lost);
  out += "],\n         \"first_entry\": " + Number(document.first_entry) +
         ", \"entries\": " + Number(document.entry_count) +
         ", \"package_suffix\": " + JsonPath(DocumentSuffix(index)) + ", \"synthesised\": [";
  AppendPaths(out, document.synthesised);
  out += "]}";
}

// A file's verdict as the job gave it; kNone (not reached) counts as not repaired.
Verdict FileVerdictOf(const FileRecovery* recovery) {
  if (recovery == nullptr || recovery->verdict.verdict == Verdict::kNone)
    return Verdict::kNotRepaired;
  return recovery->verdict.verdict;
}

void AppendFile(std::string& out, const std::wstring& path, const FileRecovery* recovery,
                const FileSave* save) {
  out += "    {\"path\": " + JsonPath(path);
  out += std::string(", \"reached\": ") + Bool(recovery != nullptr);
  out += std::string(", \"opened\": ") + Bool(recovery != nullptr && recovery->opened);
  out += std::string(", \"repaired\": ") + Bool(recovery != nullptr && recovery->repaired);
  out += std::string(",\n      \"verdict\": \"") + VerdictWord(FileVerdictOf(recovery)) + "\"";
  const std::wstring summary = recovery != nullptr
                                   ? recovery->verdict.summary
                                   : L"Not repaired: the run was stopped before it....";
  out += ", \"summary\": " + JsonText(summary);
  out += std::string(", \"saved\": ") + (save != nullptr ? Bool(save->saved) : "null");
  out += ",\n      \"entries\": [";
  if (recovery != nullptr) {
    for (size_t i = 0; i < recovery->entries.size(); ++i) {
      out += i == 0 ? "\n" : ",\n";
      const EntryOutcome* outcome =
          i < recovery->outcomes.size() ? &recovery->outcomes[i] : nullptr;
      AppendEntry(out, recovery->entries[i], outcome);
    }
    if (!recovery->entries.empty()) out += "\n      ";
  }
  out += "],\n      \"synthesised\": [";
  if (recovery != nullptr) AppendPaths(out, recovery->synthesised);
  out += "]";
  if (recovery != nullptr && recovery->opened) {
    out += ",\n      \"documents\": [";
    for (size_t d = 0; d < recovery->documents.size(); ++d) {
      out += d == 0 ? "\n" : ",\n";
      AppendDocument(out, recovery->documents[d], d, save);
    }
    if (!recovery->documents.empty()) out += "\n      ";
    out += "]";
  } else {
    out += ",\n      \"documents\": []";
  }
  out += "}";
}

}  // namespace

std::string JsonBytes(const std::string& bytes) {
  std::string out = "\"";
  if (IsUtf8(bytes)) {
    for (char c : bytes) {
      if (static_cast<uint8_t>(c) < 0x80) {
        AppendAscii(out, c);
      } else {
        out.push_back(c);
      }
    }
  } else {
    for (char c : bytes) {
      if (static_cast<uint8_t>(c) < 0x80) {
        AppendAscii(out, c);
      } else {
        AppendEscape(out, static_cast<uint8_t>(c));
      }
    }
  }
  return out + "\"";
}

std::string JsonPath(const std::wstring& path) {
#ifdef _WIN32
  return JsonUtf16(path);
#else
  return JsonBytes(platform::NarrowPath(path));
#endif
}

ReportWriter::ReportWriter(std::string command, std::vector<std::wstring> files)
    : command_(std::move(command)), files_(std::move(files)) {}

void ReportWriter::OnFileRecovered(const FileRecovery& recovery) {
  std::lock_guard<std::mutex> lock(mutex_);
  recoveries_.push_back(recovery);
}

void ReportWriter::OnFileSaved(const FileSave& save) {
  std::lock_guard<std::mutex> lock(mutex_);
  saves_.push_back(save);
}

std::string JsonText(const std::wstring& text) {
#ifdef _WIN32
  return JsonUtf16(text);
#else
  std::string out = "\"";
  for (wchar_t c : text) {
    const auto code = static_cast<uint32_t>(c);
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      AppendEscape(out, 0xFFFD);
    } else {
      AppendUtf8(out, code);
    }
  }
  return out + "\"";
#endif
}

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::kComplete:
      return "complete";
    case Verdict::kPartial:
      return "partial";
    case Verdict::kLost:
      return "lost";
    default:
      return "not_repaired";
  }
}

std::string ReportWriter::Json(bool stopped) const {
  std::lock_guard<std::mutex> lock(mutex_);
  // The job takes the files in list order and reports each it gets to, so the reports match
  // the list in order; a listed file with no report of its own was not reached. The save job
  // reports every listed file, in list order.
  std::vector<const FileRecovery*> recovered(files_.size(), nullptr);
  std::vector<const FileSave*> saved(files_.size(), nullptr);
  size_t next = 0;
  for (size_t i = 0; i < files_.size(); ++i) {
    if (next < recoveries_.size() && recoveries_[next].path == files_[i])
      recovered[i] = &recoveries_[next++];
  }
  size_t next_save = 0;
  for (size_t i = 0; i < files_.size(); ++i) {
    if (next_save < saves_.size() && saves_[next_save].path == files_[i])
      saved[i] = &saves_[next_save++];
  }
  uint64_t by_verdict[5] = {};
  uint64_t saved_count = 0;
  for (size_t i = 0; i < files_.size(); ++i) {
    ++by_verdict[static_cast<int>(FileVerdictOf(recovered[i]))];
    if (saved[i] != nullptr && saved[i]->saved) ++saved_count;
  }
  const bool saves = command_ == "repair";
  std::string out =
      "{\"report\": \"velmora\", \"version\": 2, \"command\": " + JsonBytes(command_) +
      ", \"stopped\": " + Bool(stopped) + ",\n  \"summary\": {";
  out += "\"files\": " + Number(files_.size());
  out += ", \"complete\": " + Number(by_verdict[static_cast<int>(Verdict::kComplete)]);
  out += ", \"partial\": " + Number(by_verdict[static_cast<int>(Verdict::kPartial)]);
  out += ", \"lost\": " + Number(by_verdict[static_cast<int>(Verdict::kLost)]);
  out += ", \"not_repaired\": " + Number(by_verdict[static_cast<int>(Verdict::kNotRepaired)]);
  out += ", \"saved\": " + Number(saves ? saved_count : 0);
  out += ", \"not_saved\": " + Number(saves ? files_.size() - saved_count : 0);
  out += "},\n  \"files\": [";
  for (size_t i = 0; i < files_.size(); ++i) {
    out += i == 0 ? "\n" : ",\n";
    AppendFile(out, files_[i], recovered[i], saved[i]);
  }
  // Reports for paths that are not listed (none are expected) are kept rather than lost.
  for (; next < recoveries_.size(); ++next) {
    out += files_.empty() && next == 0 ? "\n" : ",\n";
    AppendFile(out, recoveries_[next].path, &recoveries_[next], nullptr);
  }
  if (!files_.empty() || !recoveries_.empty()) out += "\n  ";
  return out + "]}\n";
}

bool ReportWriter::Write(const std::wstring& path, bool stopped) const {
  const std::string json = Json(stopped);
  platform::File file = platform::File::Create(path);
  if (!file.IsOpen() || !file.Write(json.data(), json.size())) return false;
  file.Close();
  return true;
}

}  // namespace velmora::cli
