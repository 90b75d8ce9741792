#include "engine/scan/document_split.h"

#include <map>

namespace velmora {

std::vector<size_t> DocumentStarts(const std::vector<RecoveredEntry>& entries) {
  std::vector<size_t> starts{0};
  // The names of the current document, each with the index of its first entry there.
  std::map<std::wstring, size_t> seen;
  const auto has = [&seen](const wchar_t* name) { return seen.count(name) != 0; };
  const auto begin_at = [&](size_t at, size_t end) {
    starts.push_back(at);
    seen.clear();
    for (size_t k = at; k < end; ++k) seen.emplace(entries[k].name, k);
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::wstring& name = entries[i].name;
    const auto repeat = seen.find(name);
    if (repeat != seen.end() && starts.size() < kMaxDocuments) {
      // Writers put the parts in many orders (the manifest first, the mimetype in the middle,
      // the content last), so the order says nothing; only a part met twice does. A second
      // mimetype begins the next document there. Another part met again begins it when the
      // current one is complete; before that, at a mimetype that came after the part's first
      // entry (a cut-off package, then the next one from its mimetype on). Otherwise the later
      // entry of the name wins within one document.
      const bool complete = has(L"content.xml") && has(L"META-INF\\manifest.xml");
      if (name == L"mimetype" || complete) {
        begin_at(i, i);
      } else {
        const auto mimetype = seen.find(L"mimetype");
        if (mimetype != seen.end() && mimetype->second > repeat->second) {
          begin_at(mimetype->second, i);
        }
      }
    }
    seen.emplace(name, i);
  }
  return starts;
}

std::wstring DocumentSuffix(size_t document) {
  return document == 0 ? std::wstring() : L"~" + std::to_wstring(document + 1);
}

}  // namespace velmora
