// Several documents in one file: where each begins, and what the repair and save jobs make of
// two packages joined back to back.
#include "engine/scan/document_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

std::vector<RecoveredEntry> Named(const std::vector<std::wstring>& names) {
  std::vector<RecoveredEntry> entries;
  for (const std::wstring& name : names) {
    RecoveredEntry entry;
    entry.name = name;
    entries.push_back(entry);
  }
  return entries;
}

struct SplitCase {
  const char* what;
  std::vector<std::wstring> names;
  std::vector<size_t> starts;
};

TEST(DocumentStarts, WhereEachDocumentBegins) {
  const std::vector<std::wstring> package = {L"mimetype", L"content.xml", L"styles.xml",
                                             L"META-INF\\manifest.xml"};
  std::vector<std::wstring> twice = package;
  twice.insert(twice.end(), package.begin(), package.end());
  const std::vector<std::wstring> without_mimetype = {L"content.xml", L"META-INF\\manifest.xml",
                                                      L"styles.xml", L"content.xml",
                                                      L"META-INF\\manifest.xml"};
  std::vector<std::wstring> many;
  for (int i = 0; i < 40; ++i) many.insert(many.end(), package.begin(), package.end());
  std::vector<size_t> many_starts;
  for (size_t i = 0; i < kMaxDocuments; ++i) many_starts.push_back(i * package.size());
  const SplitCase cases[] = {
      {"no entries", {}, {0}},
      {"one package", package, {0}},
      {"two packages, each with its mimetype", twice, {0, 4}},
      {"a second run of the same names after a complete set", without_mimetype, {0, 3}},
      {"a name twice before the set is complete: one document (the later entry wins)",
       {L"mimetype", L"content.xml", L"content.xml", L"META-INF\\manifest.xml"},
       {0}},
      {"a stray record before the package's mimetype is no document of its own",
       {L"x.bin", L"mimetype", L"content.xml", L"META-INF\\manifest.xml"},
       {0}},
      {"a mimetype after the parts of a cut-off package starts the next one",
       {L"mimetype", L"styles.xml", L"mimetype", L"content.xml"},
       {0, 2}},
      {"the manifest first and the mimetype third, as a JavaScript writer lays them: one",
       {L"META-INF\\manifest.xml", L"meta.xml", L"mimetype", L"styles.xml", L"content.xml",
        L"manifest.rdf"},
       {0}},
      {"the mimetype, settings and styles after the content and manifest: one",
       {L"content.xml", L"META-INF\\manifest.xml", L"mimetype", L"settings.xml", L"styles.xml"},
       {0}},
      {"two manifest-first packages: the second begins at its repeated manifest",
       {L"META-INF\\manifest.xml", L"mimetype", L"content.xml", L"META-INF\\manifest.xml",
        L"mimetype", L"content.xml"},
       {0, 3}},
      {"a cut-off package without its manifest, then another: the second from its mimetype",
       {L"content.xml", L"mimetype", L"content.xml", L"META-INF\\manifest.xml"},
       {0, 1}},
      {"no more than kMaxDocuments documents", many, many_starts},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DocumentStarts(Named(c.names)), c.starts);
  }
}

TEST(DocumentStarts, FurtherDocumentsAreNamedToSortBesideTheFirst) {
  EXPECT_EQ(DocumentSuffix(0), L"");
  EXPECT_EQ(DocumentSuffix(1), L"~2");
  EXPECT_EQ(DocumentSuffix(15), L"~16");
}

}  // namespace
}  // namespace velmora
