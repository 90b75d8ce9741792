#include "engine/verdict/document_verdict.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/extract/entry_path.h"
#include "platform/platform.h"

namespace velmora {
namespace {

// An entry's name as the package names the file it gives: "/" between folders, as it lands in
// the folder.
std::wstring PartName(const std::wstring& entry_name) {
  std::wstring name = SafeEntryPath(entry_name, kWindowsNameRules);
  std::replace(name.begin(), name.end(), L'\\', L'/');
  return name;
}

std::wstring FilePath(const std::wstring& folder, std::wstring name) {
  std::replace(name.begin(), name.end(), L'/', platform::kSeparator);
  return platform::JoinPath(folder, name);
}

// The data came back whole: every byte written and proved by the entry's CRC-32 (matched as
// found, or after the one changed byte was undone).
bool Whole(const EntryOutcome& outcome) {
  return outcome.written && !outcome.salvaged && outcome.crc_checked && outcome.crc_matched;
}

// Another format's package: its parts list, or the folders its workbooks, documents and slides
// live in.
bool OtherFormat(const std::map<std::wstring, const EntryOutcome*>& written) {
  for (const auto& [name, outcome] : written) {
    if (name == L"[Content_Types].xml" || name.compare(0, 3, L"xl/") == 0 ||
        name.compare(0, 5, L"word/") == 0 || name.compare(0, 4, L"ppt/") == 0)
      return true;
  }
  return false;
}

// What is wrong with an XML part that holds the user's data, or "" when it came back whole.
std::wstring PartNote(const std::wstring& name, const EntryOutcome* outcome) {
  if (outcome == nullptr) return name + L" is missing";
  if (outcome->salvaged) return name + L" ends at the damage";
  if (!outcome->crc_checked)
    return name + L" could not be checked (its CRC-32 was lost): a value in it may be wrong";
  if (!outcome->crc_matched) return name + L" failed its check: a value in it may be wrong";
  return L"";
}

// A name the preview can show: the extensions of the pictures an office package holds.
bool IsPictureName(const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) return false;
  std::wstring extension = name.substr(dot + 1);
  for (wchar_t& c : extension) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  for (const wchar_t* known : {L"jpg", L"jpeg", L"png", L"gif", L"bmp", L"emf"})
    if (extension == known) return true;
  return false;
}

// The parts lost, each once, in the order met (a file may hold very many entries: no linear
// search per entry).
class LostParts {
 public:
  explicit LostParts(std::vector<std::wstring>& lost) : lost_(lost) {}
  void Add(const std::wstring& name) {
    if (names_.insert(name).second) lost_.push_back(name);
  }

 private:
  std::vector<std::wstring>& lost_;
  std::set<std::wstring> names_;
};

}  // namespace

DocumentVerdict JudgeDocument(const std::wstring& folder,
                              const std::vector<RecoveredEntry>& entries,
                              const std::vector<EntryOutcome>& outcomes,
                              const std::vector<std::wstring>& synthesised) {
  DocumentVerdict verdict;
  // What each part name came to: the last entry of that name that gave a file, since a later
  // entry that fails leaves an earlier one's file in place.
  std::map<std::wstring, const EntryOutcome*> written;
  std::vector<std::wstring> seen;
  std::set<std::wstring> seen_names;
  LostParts lost(verdict.parts_lost);
  for (size_t i = 0; i < entries.size() && i < outcomes.size(); ++i) {
    const std::wstring name = PartName(entries[i].name);
    if (name.empty()) continue;
    if (seen_names.insert(name).second) seen.push_back(name);
    if (outcomes[i].written) written[name] = &outcomes[i];
    if (outcomes[i].written && IsPictureName(name)) verdict.any_picture = true;
  }
  auto find = [&written](const std::wstring& name) -> const EntryOutcome* {
    const auto it = written.find(name);
    return it == written.end() ? nullptr : it->second;
  };
  for (const std::wstring& name : seen) {
    const EntryOutcome* outcome = find(name);
    if (outcome == nullptr || !Whole(*outcome)) lost.Add(name);
  }
  for (const wchar_t* part : {L"mimetype", L"content.xml", L"styles.xml", L"META-INF/manifest.xml"})
    if (find(part) == nullptr) lost.Add(part);

  const EntryOutcome* content = find(L"content.xml");
  XmlPartSummary sheets;
  if (content != nullptr) {
    sheets = ReadXmlPart(FilePath(folder, L"content.xml"),
                         content->salvaged ? content->salvaged_bytes : UINT64_MAX);
  }
  if (sheets.sheets.empty()) {
    if (OtherFormat(written)) {
      verdict.verdict = Verdict::kNotRepaired;
      verdict.notes.push_back(L"it holds a workbook of another format");
    } else {
      verdict.verdict = Verdict::kLost;
      std::wstring why = content == nullptr ? L"content.xml is missing"
                         : !sheets.opened   ? L"content.xml cannot be read"
                         : content->salvaged
                             ? L"content.xml ends at the damage before its first sheet"
                             : L"content.xml holds no sheet";
      verdict.notes.push_back(L"no sheet data came back (" + why + L")");
    }
    return verdict;
  }
  verdict.sheets = std::move(sheets.sheets);

  // Sheet data came back: what keeps it from being all of it.
  bool any_cut = false;
  for (const SheetCount& sheet : verdict.sheets) {
    if (!sheet.cut) continue;
    any_cut = true;
    verdict.notes.push_back(L"sheet '" + sheet.name + L"' ends at the damage");
  }
  if (content->salvaged && !any_cut) {
    verdict.notes.push_back(L"content.xml ends at the damage after sheet '" +
                            verdict.sheets.back().name + L"'");
  } else if (!content->salvaged) {
    const std::wstring note = PartNote(L"content.xml", content);
    if (!note.empty()) verdict.notes.push_back(note);
  }
  const EntryOutcome* styles = find(L"styles.xml");
  const std::wstring styles_note = PartNote(L"styles.xml", styles);
  if (!styles_note.empty()) verdict.notes.push_back(styles_note);

  // The pictures and objects the sheets and styles refer to.
  std::vector<PartReference> references = std::move(sheets.references);
  if (styles != nullptr) {
    const XmlPartSummary style_part = ReadXmlPart(FilePath(folder, L"styles.xml"));
    for (const PartReference& reference : style_part.references) {
      if (std::find(references.begin(), references.end(), reference) == references.end())
        references.push_back(reference);
    }
  }
  for (const PartReference& reference : references) {
    // Entry names are their bytes widened one to one; the reference's UTF-8 bytes are too.
    std::wstring name;
    for (char c : reference.name) name += static_cast<wchar_t>(static_cast<uint8_t>(c));
    if (reference.object) {
      ++verdict.objects_referenced;
      const EntryOutcome* object = find(name + L"/content.xml");
      if (object != nullptr && Whole(*object)) {
        ++verdict.objects_recovered;
      } else {
        lost.Add(name);
      }
      continue;
    }
    ++verdict.pictures_referenced;
    const EntryOutcome* picture = find(name);
    const bool stand_in =
        std::find(synthesised.begin(), synthesised.end(), name) != synthesised.end();
    if (picture != nullptr && Whole(*picture) && !stand_in) {
      ++verdict.pictures_recovered;
    } else {
      lost.Add(name);
    }
  }
  if (verdict.pictures_recovered < verdict.pictures_referenced) {
    verdict.notes.push_back(std::to_wstring(verdict.pictures_recovered) + L" of " +
                            std::to_wstring(verdict.pictures_referenced) + L" pictures");
  }
  if (verdict.objects_recovered < verdict.objects_referenced) {
    verdict.notes.push_back(std::to_wstring(verdict.objects_recovered) + L" of " +
                            std::to_wstring(verdict.objects_referenced) + L" objects");
  }
  verdict.verdict = verdict.notes.empty() ? Verdict::kComplete : Verdict::kPartial;
  return verdict;
}

}  // namespace velmora
