#include "engine/scan/document_split.h"

#include <set>

namespace velmora {

std::vector<size_t> DocumentStarts(const std::vector<RecoveredEntry>& entries) {
  std::vector<size_t> starts{0};
  std::set<std::wstring> seen;
  const auto has = [&seen](const wchar_t* name) { return seen.count(name) != 0; };
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::wstring& name = entries[i].name;
    // A stray record in front of a package (a false header in a wrapper) is no document of
    // its own: only one that holds a package's parts is ended by a "mimetype".
    const bool has_parts =
        has(L"content.xml") || has(L"styles.xml") || has(L"META-INF\\manifest.xml");
    const bool complete = has(L"content.xml") && has(L"META-INF\\manifest.xml");
    const bool begins = (name == L"mimetype" && has_parts) || (complete && seen.count(name) != 0);
    if (begins && starts.size() < kMaxDocuments) {
      starts.push_back(i);
      seen.clear();
    }
    seen.insert(name);
  }
  return starts;
}

std::wstring DocumentSuffix(size_t document) {
  return document == 0 ? std::wstring() : L"~" + std::to_wstring(document + 1);
}

}  // namespace velmora
