// XmlTracker: which documents are whole, where damage is found, and that the cut prefix with
// its closing tags is a well-formed document that keeps every complete element; the same
// answers whatever pieces the bytes come in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/extract/xml_salvage.h"
#include "extraction_fixtures.h"
#include "xml_check.h"

namespace velmora {
namespace {

using extraction_test::ScratchFolder;
using extraction_test::WriteBytes;

struct Tracked {
  bool whole = false;
  bool damaged = false;
  uint64_t damage_offset = 0;
  bool has_cut = false;
  uint64_t cut = 0;
  std::string closing;

  bool operator==(const Tracked& o) const {
    return whole == o.whole && damaged == o.damaged && damage_offset == o.damage_offset &&
           has_cut == o.has_cut && cut == o.cut && closing == o.closing;
  }
};

// Feeds the document in pieces of `piece` bytes (all at once when 0).
Tracked Track(const std::string& doc, size_t piece = 0) {
  XmlTracker tracker;
  const auto* bytes = reinterpret_cast<const uint8_t*>(doc.data());
  if (piece == 0) piece = doc.size() + 1;
  for (size_t at = 0; at < doc.size(); at += piece) {
    tracker.Feed(bytes + at, std::min(piece, doc.size() - at));
  }
  EXPECT_EQ(tracker.size(), doc.size());
  Tracked t;
  t.whole = tracker.IsWholeDocument();
  t.damaged = tracker.damaged();
  t.damage_offset = t.damaged ? tracker.damage_offset() : 0;
  t.has_cut = tracker.HasCut();
  t.cut = t.has_cut ? tracker.cut() : 0;
  t.closing = tracker.ClosingTags();
  return t;
}

// What salvage keeps: the prefix up to the cut and the closing tags, or "<none>".
std::string Salvaged(const std::string& doc, const Tracked& t) {
  return t.has_cut ? doc.substr(0, static_cast<size_t>(t.cut)) + t.closing : "<none>";
}

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const std::string kRoot = "<o:doc xmlns:o=\"urn:o\" xmlns:t=\"urn:t\">";
const std::string kRow1 = "<t:row><t:c v=\"1\">1</t:c></t:row>";
const std::string kEnd = "</o:doc>";
// The document up to the end of its first row: what every cut inside the second row keeps.
const std::string kKeptRow1 = kDecl + kRoot + kRow1 + kEnd;

struct TrackCase {
  const char* what;
  std::string doc;
  bool whole;
  std::string salvaged;  // "<none>" when not even the root's start tag came through
};

// A sheet whose row holds one whole cell: a cell the damage cut after it goes, whatever part of
// its text was whole.
const std::string kSheet =
    kDecl +
    "<office:doc xmlns:office=\"urn:o\" xmlns:table=\"urn:t\" xmlns:text=\"urn:x\">"
    "<table:table><table:table-row><table:table-cell><text:p>A</text:p></table:table-cell>";
const std::string kSheetKept = kSheet + "</table:table-row></table:table></office:doc>";

std::vector<TrackCase> Cases() {
  const std::string head = kDecl + kRoot + kRow1;
  return {
      {"cell cut after a space element inside its text",
       kSheet + "<table:table-cell><text:p>T\xC3\xBCr-D\xC3\xA4<text:s/>mm", false, kSheetKept},
      {"cell cut in its second paragraph",
       kSheet + "<table:table-cell><text:p>one</text:p><text:p>tw", false, kSheetKept},
      {"covered cell cut after a span",
       kSheet + "<table:covered-table-cell><text:p>a<text:span>b</text:span>c", false, kSheetKept},
      {"damage in a cell after an empty cell",
       kSheet + "<table:table-cell/><table:table-cell><text:p>x\x01", false,
       kSheet + "<table:table-cell/></table:table-row></table:table></office:doc>"},
      {"cell cut inside a table inside it",
       kSheet + "<table:table-cell><table:table><table:table-row><table:table-cell>"
                "<text:p>in</text:p></table:table-cell></table:table-row><table:table-ro",
       false, kSheetKept},
      {"whole document with comments, instructions, CDATA and references",
       kDecl + "<!-- made by hand -->\n" + kRoot + kRow1 +
           "<t:row><t:c a='x &amp; &lt;y&gt;'>&#x41;&#66; &quot;q&apos;</t:c></t:row>"
           "<?pi some data?><![CDATA[<not markup> & ]]]><t:c/></o:doc>\n<!-- after -->\n",
       true,
       kDecl + "<!-- made by hand -->\n" + kRoot + kRow1 +
           "<t:row><t:c a='x &amp; &lt;y&gt;'>&#x41;&#66; &quot;q&apos;</t:c></t:row>"
           "<?pi some data?><![CDATA[<not markup> & ]]]><t:c/></o:doc>"},
      {"multi-byte text, tabs and CR LF",
       kDecl + kRoot + "<t:c>\xC3\xA9\xE2\x9C\x93\xF0\x9F\x98\x80\t\r\n</t:c>" + kEnd, true,
       kDecl + kRoot + "<t:c>\xC3\xA9\xE2\x9C\x93\xF0\x9F\x98\x80\t\r\n</t:c>" + kEnd},
      {"byte-order mark", "\xEF\xBB\xBF<r/>", true, "\xEF\xBB\xBF<r/>"},
      {"empty root element", "<r/>", true, "<r/>"},
      {"no declaration, default namespace", "<r xmlns=\"urn:r\"><a/></r>", true,
       "<r xmlns=\"urn:r\"><a/></r>"},
      {"cut inside a row", head + "<t:row><t:c>2</t:c><t:c>3", false,
       head + "<t:row><t:c>2</t:c></t:row>" + kEnd},
      {"cut inside a start tag", head + "<t:row><t:c v=\"1", false, kKeptRow1},
      {"cut inside an end tag", head + "<t:row><t:c>2</t:", false, kKeptRow1},
      {"cut inside a reference", head + "<t:row><t:c>&am", false, kKeptRow1},
      {"cut inside a UTF-8 sequence", head + "<t:row><t:c>\xE2\x9C", false, kKeptRow1},
      {"cut right after the root's start tag", kDecl + kRoot, false, kDecl + kRoot + kEnd},
      {"cut right after an empty element", head + "<t:row><t:c/>", false,
       head + "<t:row><t:c/></t:row>" + kEnd},
      {"damage right after an empty element", head + "<t:row><t:c/>\x01</t:row>" + kEnd, false,
       head + "<t:row><t:c/></t:row>" + kEnd},
      {"damage right after empty repeated cells",
       head + "<t:row><t:c v=\"2\">2</t:c><t:c t:repeated=\"1020\"/>" + std::string(1, '\0'), false,
       head + "<t:row><t:c v=\"2\">2</t:c><t:c t:repeated=\"1020\"/></t:row>" + kEnd},
      {"NUL bytes in text", head + "<t:row><t:c>2" + std::string(3, '\0') + "</t:c></t:row>" + kEnd,
       false, kKeptRow1},
      {"control byte", head + "<t:row><t:c>\x01</t:c></t:row>" + kEnd, false, kKeptRow1},
      {"reference to a character XML forbids", head + "<t:c>&#0;</t:c>" + kEnd, false, kKeptRow1},
      {"unknown entity", head + "<t:c>&nbsp;</t:c>" + kEnd, false, kKeptRow1},
      {"lone UTF-8 continuation byte", head + "<t:c>\x80</t:c>" + kEnd, false, kKeptRow1},
      {"overlong UTF-8", head + "<t:c>\xC0\xAF</t:c>" + kEnd, false, kKeptRow1},
      {"UTF-8 surrogate", head + "<t:c>\xED\xA0\x80</t:c>" + kEnd, false, kKeptRow1},
      {"end tag that closes another element", head + "<t:row><t:c>2</t:row>" + kEnd, false,
       kKeptRow1},
      {"end tag longer than the open element's name", head + "<t:c>2</t:cc>" + kEnd, false,
       kKeptRow1},
      {"prefix bound nowhere", head + "<x:row/>" + kEnd, false, kKeptRow1},
      {"prefix bound on an element that has ended",
       head + "<p:a xmlns:p=\"urn:p\"><p:b/></p:a><p:c/>" + kEnd, false,
       head + "<p:a xmlns:p=\"urn:p\"><p:b/></p:a>" + kEnd},
      {"prefix unbound", head + "<t:c xmlns:t=\"\"/>" + kEnd, false, kKeptRow1},
      {"attribute given twice", head + "<t:c a=\"1\" a=\"2\"/>" + kEnd, false, kKeptRow1},
      {"attribute without quotes", head + "<t:c a=1/>" + kEnd, false, kKeptRow1},
      {"attributes without blank between", head + "<t:c a=\"1\"b=\"2\"/>" + kEnd, false, kKeptRow1},
      {"'<' in an attribute value", head + "<t:c a=\"<\"/>" + kEnd, false, kKeptRow1},
      {"name starting with a digit", head + "<1c/>" + kEnd, false, kKeptRow1},
      {"local part starting with a digit", head + "<t:1c/>" + kEnd, false, kKeptRow1},
      {"two colons in a name", head + "<t:c:d/>" + kEnd, false, kKeptRow1},
      {"non-ASCII name", head + "<t:\xC3\xA9/>" + kEnd, false, kKeptRow1},
      {"']]>' in text", head + "<t:c>a]]>b</t:c>" + kEnd, false, kKeptRow1},
      {"'--' inside a comment", head + "<!-- a -- b -->" + kEnd, false, kKeptRow1},
      {"text after the root", kDecl + "<r><a/></r>x", false, kDecl + "<r><a/></r>"},
      {"a second root element", kDecl + "<r><a/></r><r/>", false, kDecl + "<r><a/></r>"},
      {"text before the root", kDecl + "x<r/>", false, "<none>"},
      {"NUL in the prolog", kDecl + std::string(1, '\0') + "<r/>", false, "<none>"},
      {"damage inside the root's start tag", kDecl + "<o:doc xmlns:o=\"urn:o\"\x01>", false,
       "<none>"},
      {"declaration not at the start", " <?xml version=\"1.0\"?><r/>", false, "<none>"},
      {"declaration with a garbled version", "<?xml version=\"1n0\"?><r/>", false, "<none>"},
      {"declaration naming another encoding", "<?xml version=\"1.0\" encoding=\"UTlF-8\"?><r/>",
       false, "<none>"},
      {"nothing", "", false, "<none>"},
  };
}

TEST(XmlTrackerTest, WholeDocumentsAndWhatSalvageKeeps) {
  ScratchFolder scratch;
  std::vector<std::wstring> kept;
  for (const TrackCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    const Tracked t = Track(c.doc);
    EXPECT_EQ(t.whole, c.whole);
    const std::string salvaged = Salvaged(c.doc, t);
    EXPECT_EQ(salvaged, c.salvaged);
    if (!t.has_cut) continue;
    // What salvage keeps is a whole document, to the tracker and to a real parser.
    EXPECT_TRUE(Track(salvaged).whole);
    kept.push_back(scratch.Path(L"doc" + std::to_wstring(kept.size()) + L".xml"));
    ASSERT_TRUE(WriteBytes(kept.back(), salvaged));
  }
  if (!xml_check::HaveParser()) GTEST_SKIP() << xml_check::kNoParser;
  EXPECT_TRUE(xml_check::AreWellFormedFiles(kept));
  // The parser is really asked: it refuses what is broken.
  ASSERT_TRUE(WriteBytes(scratch.Path(L"broken.xml"), "<a><b></a>"));
  EXPECT_FALSE(xml_check::AreWellFormedFiles({scratch.Path(L"broken.xml")}));
}

TEST(XmlTrackerTest, PiecesDoNotChangeTheAnswer) {
  for (const TrackCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    const Tracked at_once = Track(c.doc);
    for (size_t piece = 1; piece <= 7; ++piece) {
      SCOPED_TRACE(piece);
      EXPECT_TRUE(Track(c.doc, piece) == at_once);
    }
  }
}

TEST(XmlTrackerTest, DamageOffsetIsTheFirstBadByte) {
  const std::string head = kDecl + kRoot + kRow1;
  struct Case {
    const char* what;
    std::string doc;
    size_t offset;
  };
  const Case cases[] = {
      {"NUL", head + "<t:c>ab" + std::string(1, '\0'), head.size() + 7},
      {"wrong end tag", head + "<t:c></t:x>", head.size() + 9},
      {"bad continuation byte", head + "<t:c>\xC3(", head.size() + 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Tracked t = Track(c.doc);
    EXPECT_TRUE(t.damaged);
    EXPECT_EQ(t.damage_offset, c.offset);
  }
}

TEST(XmlTrackerTest, ElementsWithoutEndCountAsDamageOnceTooDeep) {
  // Garbage that opens element after element must not grow the tracker without bound.
  std::string doc = "<r>";
  for (int i = 0; i < 70000; ++i) doc += "<a>";
  const Tracked t = Track(doc, 4096);
  EXPECT_TRUE(t.damaged);
  EXPECT_EQ(Salvaged(doc, t), "<r></r>");
}

TEST(XmlTrackerTest, SalvageableParts) {
  struct Case {
    const wchar_t* name;
    bool salvageable;
  };
  const Case cases[] = {
      {L"content.xml", true},
      {L"styles.xml", true},
      {L"meta.xml", true},
      {L"settings.xml", true},
      {L"\\content.xml", true},
      {L"./content.xml", true},
      {L"Object 1\\content.xml", false},
      {L"META-INF\\manifest.xml", false},
      {L"manifest.rdf", false},
      {L"Content.xml", false},
      {L"content.xml\\", false},
      {L"Thumbnails\\thumbnail.png", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsSalvageableXmlPart(c.name), c.salvageable) << &c - cases;
  }
}

}  // namespace
}  // namespace velmora
