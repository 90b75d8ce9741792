// The verdict per document: what the sheet counter reads from a content.xml, and what the repair
// job says of each kind of file it meets (whole, short of a part, cut, failing its check, with no
// sheet data, another format's package).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/job/job_texts.h"
#include "engine/job/repair_job.h"
#include "engine/job/working_folder.h"
#include "engine/verdict/sheet_counter.h"
#include "engine/verdict/verdict_text.h"
#include "platform/platform.h"
#include "support/job_runner.h"
#include "support/peak_memory.h"
#include "support/recording_window.h"
#include "support/scratch.h"

namespace velmora::test {
namespace {

const std::string kOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\"><office:body><office:spreadsheet>";
const std::string kClose = "</office:spreadsheet></office:body></office:document-content>";

std::string Cell(const std::string& text) {
  return "<table:table-cell office:value-type=\"string\"><text:p>" + text +
         "</text:p></table:table-cell>";
}
std::string Row(const std::string& cells, const std::string& attributes = "") {
  return "<table:table-row" + attributes + ">" + cells + "</table:table-row>";
}
std::string Sheet(const std::string& name, const std::string& rows) {
  return "<table:table table:name=\"" + name + "\">" + rows + "</table:table>";
}

// A text of ASCII characters as bytes (others as "?"): the fixtures' sheet names, and paths
// for messages.
std::string Ascii(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

struct CountCase {
  const char* what;
  std::string xml;
  std::vector<SheetCount> sheets;
  uint64_t cut_at = UINT64_MAX;
};

std::vector<CountCase> CountCases() {
  const std::string empty_tail =
      "<table:table-row table:number-rows-repeated=\"1048570\"><table:table-cell "
      "table:number-columns-repeated=\"1024\"/></table:table-row>";
  return {
      {"rows with cells, then the empty rows a writer adds to the end",
       kOpen + Sheet("Ledger", Row(Cell("a") + Cell("b")) + Row(Cell("c")) + empty_tail) + kClose,
       {{L"Ledger", 2, 3, false}}},
      {"repeated rows and columns count as often as shown",
       kOpen +
           Sheet("S", Row("<table:table-cell office:value-type=\"float\" office:value=\"1\" "
                          "table:number-columns-repeated=\"3\"><text:p>1</text:p>"
                          "</table:table-cell>",
                          " table:number-rows-repeated=\"4\"")) +
           kClose,
       {{L"S", 4, 12, false}}},
      {"blank cells: an empty text, a comment, a picture anchored in the cell",
       kOpen +
           Sheet("S", Row("<table:table-cell office:value-type=\"string\"><text:p/>"
                          "</table:table-cell><table:table-cell><office:annotation><text:p>"
                          "note</text:p></office:annotation></table:table-cell>"
                          "<table:table-cell office:value-type=\"string\"><text:p/><draw:frame>"
                          "<draw:image xlink:href=\"Pictures/a.png\"><text:p>x</text:p>"
                          "</draw:image></draw:frame></table:table-cell>") +
                          Row(Cell("kept"))) +
           kClose,
       {{L"S", 1, 1, false}}},
      {"a formula or a value shows even without text; a space element is text",
       kOpen +
           Sheet("S", Row("<table:table-cell table:formula=\"of:=1\"/><table:table-cell "
                          "office:value-type=\"date\" office:date-value=\"2020-01-01\"/>"
                          "<table:table-cell><text:p><text:s/></text:p></table:table-cell>")) +
           kClose,
       {{L"S", 1, 3, false}}},
      {"a table inside a cell is the cell's content, not a sheet",
       kOpen +
           Sheet("Outer", Row("<table:table-cell><table:table table:name=\"Inner\">" +
                              Row(Cell("x") + Cell("y")) + "</table:table></table:table-cell>")) +
           kClose,
       {{L"Outer", 1, 1, false}}},
      {"names with references and other scripts; a prefix bound to another name",
       "<o:document-content xmlns:o=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
       "xmlns:t=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
       "xmlns:table=\"urn:other\"><o:body><t:table t:name=\"R&amp;D &#x2713; "
       "\xE6\x97\xA5\"><t:table-row><t:table-cell o:value-type=\"float\"/></t:table-row>"
       "</t:table><table:table table:name=\"not a sheet\"/></o:body></o:document-content>",
       {{L"R&D \x2713 \x65E5", 1, 1, false}}},
      {"a sheet whose end tag lies past the cut ends at the damage",
       kOpen + Sheet("A", Row(Cell("1"))) + Sheet("B", Row(Cell("2"))) + kClose,
       {{L"A", 1, 1, false}, {L"B", 1, 1, true}},
       static_cast<uint64_t>(kOpen.size() + Sheet("A", Row(Cell("1"))).size() + 10)},
      {"a sheet never closed ends at the damage",
       kOpen + "<table:table table:name=\"A\">" + Row(Cell("1")),
       {{L"A", 1, 1, true}}},
      {"no sheet", kOpen + kClose, {}},
  };
}

TEST(SheetCounterTest, CountsRowsAndCellsAsShown) {
  for (const CountCase& c : CountCases()) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadXmlBytes(c.xml, c.cut_at).sheets, c.sheets);
    // Names, values and tags split across pieces change nothing.
    for (size_t piece : {1, 2, 5}) EXPECT_EQ(ReadXmlBytes(c.xml, c.cut_at, piece).sheets, c.sheets);
  }
}

TEST(SheetCounterTest, ReferencesInsideThePackageOnlyOnce) {
  const XmlPartSummary part =
      ReadXmlBytes(kOpen +
                   "<draw:frame><draw:image xlink:href=\"./Pictures/a.png\"/></draw:frame>"
                   "<draw:frame><draw:image xlink:href=\"Pictures/a.png\"/></draw:frame>"
                   "<draw:frame><draw:object xlink:href=\"./Object 1\"/><draw:image "
                   "xlink:href=\"./ObjectReplacements/Object 1\"/></draw:frame>"
                   "<draw:frame><draw:image xlink:href=\"https://example.org/b.png\"/></draw:frame>"
                   "<draw:frame><draw:image xlink:href=\"../outside.png\"/></draw:frame>"
                   "<text:a xlink:href=\"Pictures/link.png\">a link is no picture</text:a>" +
                   kClose);
  EXPECT_EQ(part.references, (std::vector<PartReference>{{"Pictures/a.png", false},
                                                         {"Object 1", true},
                                                         {"ObjectReplacements/Object 1", false}}));
}

// A 140 MB content.xml, and one whose sheet name is a 32 MB attribute value: read as a stream,
// the peak memory stays far below either.
TEST(SheetCounterTest, LargePartsInBoundedMemory) {
  ScratchFolder scratch;
  const std::wstring big = scratch.Path(L"big.xml");
  const std::string rows = [] {
    std::string r;
    for (int i = 0; i < 1000; ++i) r += Row(Cell("value " + std::to_string(i)) + Cell("x"));
    return r;
  }();
  {
    platform::File file = platform::File::Create(big);
    ASSERT_TRUE(file.IsOpen());
    const std::string head = kOpen + "<table:table table:name=\"Big\">";
    ASSERT_TRUE(file.Write(head.data(), head.size()));
    uint64_t written = head.size();
    uint64_t blocks = 0;
    for (; written < 140u * 1000 * 1000; written += rows.size(), ++blocks)
      ASSERT_TRUE(file.Write(rows.data(), rows.size()));
    const std::string tail = "</table:table>" + kClose;
    ASSERT_TRUE(file.Write(tail.data(), tail.size()));
    file.Close();
    const PeakMemory peak;
    const XmlPartSummary part = ReadXmlPart(big);
    EXPECT_EQ(part.sheets,
              (std::vector<SheetCount>{{L"Big", blocks * 1000, blocks * 2000, false}}));
    if (peak.available()) {
      EXPECT_LT(peak.GrowthKiB(), 8 * 1024) << "peak memory grew by 8 MB";
    }
  }
  const std::string huge_name = kOpen + "<table:table table:name=\"" + std::string(32 << 20, 'n') +
                                "\">" + Row(Cell("a")) + "</table:table>" + kClose;
  ASSERT_TRUE(WriteText(big, huge_name));
  const PeakMemory peak;
  const XmlPartSummary part = ReadXmlPart(big);
  ASSERT_EQ(part.sheets.size(), 1u);
  EXPECT_EQ(part.sheets[0].rows, 1u);
  EXPECT_EQ(part.sheets[0].name.size(), 4096u);  // the name is kept short, never whole
  if (!peak.available()) GTEST_SKIP() << "the peak memory cannot be measured here";
  EXPECT_LT(peak.GrowthKiB(), 8 * 1024) << "peak memory grew by 8 MB";
}

// The fixtures' sheets hold exactly the non-empty rows and cells LibreOffice reads back from
// them (tests/interop/expected, one CSV per sheet).
TEST(SheetCounterTest, FixtureCountsMatchWhatLibreOfficeReadsBack) {
  struct Fixture {
    const char* name;
    std::vector<SheetCount> sheets;
  };
  const Fixture fixtures[] = {
      {"numbers_text", {{L"Ledger", 201, 804, false}}},
      {"formulas_sheets",
       {{L"Inputs", 25, 125, false}, {L"Totals", 25, 125, false}, {L"Summary", 7, 14, false}}},
      {"pictures", {{L"Catalogue", 49, 148, false}, {L"Gallery", 4, 8, false}}},
  };
  for (const Fixture& f : fixtures) {
    SCOPED_TRACE(f.name);
    // The CSV files of expected/ say the same as the table above.
    for (const SheetCount& sheet : f.sheets) {
      const Bytes bytes = ReadBytes(SourcePath("tests/interop/expected/" + std::string(f.name) +
                                               "/" + Ascii(sheet.name) + ".csv"));
      ASSERT_FALSE(bytes.empty());
      std::istringstream csv(std::string(bytes.begin(), bytes.end()));
      uint64_t rows = 0;
      uint64_t cells = 0;
      // Fields separated by commas, text in quotes with doubled quotes inside (no fixture cell
      // of these holds a line break).
      for (std::string line; std::getline(csv, line);) {
        uint64_t in_line = 0;
        bool quoted = false;
        size_t field_length = 0;
        for (size_t i = 0; i <= line.size(); ++i) {
          const char c = i < line.size() ? line[i] : ',';
          if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
              ++i;
            } else if (c == '"') {
              quoted = false;
            }
            ++field_length;
          } else if (c == '"') {
            quoted = true;
            ++field_length;
          } else if (c == ',') {
            in_line += field_length > 0 ? 1 : 0;
            field_length = 0;
          } else {
            ++field_length;
          }
        }
        cells += in_line;
        rows += in_line > 0 ? 1 : 0;
      }
      EXPECT_EQ(rows, sheet.rows) << Ascii(sheet.name);
      EXPECT_EQ(cells, sheet.cells) << Ascii(sheet.name);
    }
  }
}

class VerdictJobTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWorkingFolderOverride(scratch_.Path(L"ClcTemp")); }
  void TearDown() override { SetWorkingFolderOverride(L""); }

  std::wstring Package(const std::wstring& name, const std::vector<ZipPart>& parts) {
    std::wstring path = scratch_.Path(name);
    EXPECT_TRUE(WriteBytes(path, MakeZip(parts)));
    return path;
  }
  void Run() { EXPECT_TRUE(RunRepairJob(context_).completed); }
  // The log lines of the file at `path` after its " file is closed...." line.
  std::vector<LogLine> VerdictLines(const std::wstring& path) {
    std::vector<LogLine> lines;
    bool in = false;
    for (const LogLine& line : window_.log) {
      if (line.text == path + L" file is closed....\r\n") {
        in = true;
        continue;
      }
      if (in && line.text == kAsteriskLine) break;
      if (in) lines.push_back(line);
    }
    return lines;
  }

  ScratchFolder scratch_;
  RecordingWindow window_;
  JobRunning running_{0};
  JobContext context_{&running_, &window_};
};

const std::string kStyles =
    "<office:document-styles xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\"/>";

std::vector<ZipPart> Ods(const std::string& content, bool styles = true) {
  std::vector<ZipPart> parts = {
      {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
      {"content.xml", content, true, true},
  };
  if (styles) parts.push_back({"styles.xml", kStyles, true});
  parts.push_back({"Thumbnails/thumbnail.png", "\x89PNG picture", false});
  parts.push_back({"META-INF/manifest.xml", "<manifest:manifest/>", true});
  return parts;
}

TEST_F(VerdictJobTest, EachVerdictHasItsLineImageDataAndSummary) {
  const std::string two_rows =
      kOpen + Sheet("Ledger", Row(Cell("a") + Cell("b")) + Row(Cell("c"))) + kClose;
  const std::string with_picture =
      kOpen +
      Sheet("Ledger", Row(Cell("a") + "<table:table-cell><draw:frame><draw:image "
                                      "xlink:href=\"Pictures/p.png\"/></draw:frame>"
                                      "</table:table-cell>")) +
      kClose;
  std::vector<ZipPart> crc_failed = Ods(two_rows);
  crc_failed[1].descriptor = false;
  Bytes crc_failed_zip = MakeZip(crc_failed);
  // content.xml's CRC-32 in its local header (after mimetype's 30 + 8 + 46 bytes): the data
  // still inflates to a well-formed document of the right size, so only the check tells.
  crc_failed_zip[84 + 14] ^= 0x5A;
  crc_failed_zip[84 + 15] ^= 0xA5;
  const std::wstring crc_path = scratch_.Path(L"crc.ods");
  ASSERT_TRUE(WriteBytes(crc_path, crc_failed_zip));

  struct Case {
    std::wstring path;
    std::vector<LogLine> lines;  // after " file is closed....", before the asterisks
    int image;
    intptr_t data;
    Verdict verdict;
  };
  const std::wstring whole = Package(L"whole.ods", Ods(two_rows));
  const std::wstring no_styles = Package(L"no-styles.ods", Ods(two_rows, false));
  const std::wstring no_picture = Package(L"no-picture.ods", Ods(with_picture));
  const std::wstring no_content = Package(
      L"no-content.ods", {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                          {"styles.xml", kStyles, true},
                          {"Thumbnails/thumbnail.png", "\x89PNG picture", false}});
  const std::wstring no_table = Package(L"no-table.ods", Ods(kOpen + kClose));
  const std::wstring workbook = Package(
      L"renamed.ods",
      {{"[Content_Types].xml",
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "content-types\"/>",
        true},
       {"_rels/.rels", "<Relationships/>", true},
       {"xl/workbook.xml", "<workbook><sheets><sheet name=\"Sheet1\"/></sheets></workbook>", true},
       {"xl/worksheets/sheet1.xml",
        "<worksheet><sheetData><row><c><v>1</v></c></row></sheetData>"
        "</worksheet>",
        true}});
  const auto preview = [](const std::wstring& path) {
    return LogLine{path + L" preview of file is available....\r\n", kBlack};
  };
  const Case cases[] = {
      {whole,
       {preview(whole), {whole + L"  Repaired....\r\n", kGreen}},
       kImageRepaired,
       kItemRepaired,
       Verdict::kComplete},
      {no_styles,
       {preview(no_styles),
        {no_styles + L"  Partly repaired: 1 sheet, 2 rows; styles.xml is missing....\r\n",
         kOrange}},
       kImagePartlyRepaired,
       kItemRepaired,
       Verdict::kPartial},
      {no_picture,
       {preview(no_picture),
        {no_picture + L"  Partly repaired: 1 sheet, 1 row; 0 of 1 pictures....\r\n", kOrange}},
       kImagePartlyRepaired,
       kItemRepaired,
       Verdict::kPartial},
      {crc_path,
       {preview(crc_path),
        {crc_path +
             L"  Partly repaired: 1 sheet, 2 rows; content.xml failed its check: a value in it "
             L"may be wrong....\r\n",
         kOrange}},
       kImagePartlyRepaired,
       kItemRepaired,
       Verdict::kPartial},
      // The thumbnail came back: there is a picture to look at, though no data.
      {no_content,
       {preview(no_content),
        {no_content + L"  Not repaired: no sheet data came back (content.xml is missing)....\r\n",
         kRed}},
       kImageNotRepaired,
       kItemLost,
       Verdict::kLost},
      {no_table,
       {preview(no_table),
        {no_table + L"  Not repaired: no sheet data came back (content.xml holds no sheet)....\r\n",
         kRed}},
       kImageNotRepaired,
       kItemLost,
       Verdict::kLost},
      {workbook,
       {{workbook + L"  Not repaired: it holds a workbook of another format....\r\n", kRed}},
       kImageNotRepaired,
       kItemNotRepaired,
       Verdict::kNotRepaired},
  };
  for (const Case& c : cases) window_.AddFile(c.path);
  Run();
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(Ascii(c.path));
    const std::vector<LogLine> lines = VerdictLines(c.path);
    ASSERT_EQ(lines.size(), c.lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
      EXPECT_EQ(lines[k].text, c.lines[k].text);
      EXPECT_EQ(lines[k].colour, c.lines[k].colour);
    }
    EXPECT_EQ(window_.files[i].image, c.image);
    EXPECT_EQ(window_.files[i].data, c.data);
    EXPECT_EQ(window_.files[i].verdict.verdict, c.verdict);
    EXPECT_EQ(window_.files[i].verdict.documents, std::vector<Verdict>{c.verdict});
    // The item's summary is the log's line without the path (a whole file's says what it holds).
    const std::wstring& line = lines.back().text;
    const std::wstring expected_summary =
        c.verdict == Verdict::kComplete
            ? L"Repaired: 1 sheet, 2 rows...."
            : line.substr(c.path.size() + 2, line.size() - c.path.size() - 4);
    EXPECT_EQ(window_.files[i].verdict.summary, expected_summary);
  }
  const std::vector<std::wstring> log = window_.LogTexts();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2],
            L"Repairing process completed: 1 repaired, 3 partly repaired, 3 not repaired....\r\n");
  EXPECT_EQ(log.back(), kUnderscoreLine);
}

// A file cut through its content.xml: the sheet's rows that came back are counted, it ends at
// the damage, and no cell is written with a part of its text; the same file whole is complete.
TEST_F(VerdictJobTest, CutSheetIsPartialWithItsWholeRowsAndCells) {
  std::string rows;
  for (int r = 0; r < 400; ++r)
    rows += Row(Cell("T\xC3\xBCr-D\xC3\xA4mmung " + std::to_string(r)) + Cell("x"));
  const std::string content = kOpen + Sheet("Ledger", rows) + kClose;
  // Stored, so that the cut lies at a known place in the text: inside the text of row 300's
  // first cell.
  const std::vector<ZipPart> parts = {
      {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
      {"styles.xml", kStyles, false},
      {"content.xml", content, false},
  };
  const Bytes zip = MakeZip(parts);
  const std::string marker = "D\xC3\xA4mmung 300";
  const std::string bytes(zip.begin(), zip.end());
  const size_t cut = bytes.find(marker) + 3;
  ASSERT_NE(bytes.find(marker), std::string::npos);
  const std::wstring path = scratch_.Path(L"cut.ods");
  ASSERT_TRUE(WriteBytes(path, Bytes(zip.begin(), zip.begin() + static_cast<ptrdiff_t>(cut))));
  window_.AddFile(path);
  Run();
  const std::vector<LogLine> lines = VerdictLines(path);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(
      lines.back().text,
      path + L"  Partly repaired: 1 sheet, 300 rows; sheet 'Ledger' ends at the damage....\r\n");
  EXPECT_EQ(lines.back().colour, kOrange);
  const Bytes kept = ReadBytes(FileFolderPath(path, 0) + platform::kSeparator + L"content.xml");
  const std::string text(kept.begin(), kept.end());
  EXPECT_EQ(text.find("D\xC3\xA4m"), text.find("D\xC3\xA4mmung 0"));
  EXPECT_EQ(text.find("D\xC3"), text.find("D\xC3\xA4mmung 0"));
  EXPECT_NE(text.find("D\xC3\xA4mmung 299"), std::string::npos);
  // Row 300 is gone whole: no cell of it, and no stray piece of its first cell's text.
  EXPECT_EQ(text.find("mmung 300"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 200).find("<text:p>T\xC3\xBCr-D\xC3\xA4<"),
            std::string::npos);
}

TEST(VerdictTextTest, FilesOfSeveralDocumentsAndNumbers) {
  EXPECT_EQ(GroupedNumber(0), L"0");
  EXPECT_EQ(GroupedNumber(999), L"999");
  EXPECT_EQ(GroupedNumber(1612), L"1,612");
  EXPECT_EQ(GroupedNumber(1234567), L"1,234,567");
  DocumentVerdict complete;
  complete.verdict = Verdict::kComplete;
  complete.sheets = {{L"A", 3, 6, false}};
  DocumentVerdict lost;
  lost.verdict = Verdict::kLost;
  lost.notes = {L"no sheet data came back (content.xml is missing)"};
  // One document with a package, one without: partly repaired, and saved.
  const FileVerdict mixed = FileVerdictOf({complete, lost});
  EXPECT_EQ(mixed.verdict, Verdict::kPartial);
  EXPECT_EQ(mixed.documents, (std::vector<Verdict>{Verdict::kComplete, Verdict::kLost}));
  EXPECT_EQ(mixed.summary,
            L"Partly repaired: document 1 (repaired): 1 sheet, 3 rows; document 2 (not "
            L"repaired): no sheet data came back (content.xml is missing)....");
  EXPECT_EQ(ItemDataOf(mixed), kItemRepaired);
  EXPECT_EQ(ItemImageOf(mixed), kImagePartlyRepaired);
  EXPECT_EQ(FileVerdictOf({complete, complete}).verdict, Verdict::kComplete);
  const FileVerdict none = FileVerdictOf({lost, lost});
  EXPECT_EQ(none.verdict, Verdict::kLost);
  EXPECT_EQ(ItemDataOf(none), kItemLost);
}

}  // namespace
}  // namespace velmora::test
