// The command line's --report: JSON text of byte strings and paths, the report of hand-made
// recoveries read back by Python's json module, and `velmora repair --report` run as a user
// would.
#include "cli/report_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/command.h"
#include "support/scratch.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace velmora::cli {
namespace {

TEST(ReportJsonText, ByteStrings) {
  struct Case {
    const char* label;
    std::string bytes;
    std::string json;
  };
  const Case cases[] = {
      {"plain", "content.xml", "\"content.xml\""},
      {"quote, backslash and controls escaped", "a\"b\\c\n\t\r\x01\x1F\x7F",
       "\"a\\\"b\\\\c\\n\\t\\r\\u0001\\u001F\x7F\""},
      {"valid UTF-8 kept as it is", "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
       "\"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80\""},
      {"a Latin-1 byte: every byte above 0x7F escaped", "caf\xE9 \xC3\xA9",
       "\"caf\\u00E9 \\u00C3\\u00A9\""},
      {"overlong form", "\xC0\xAF", "\"\\u00C0\\u00AF\""},
      {"encoded surrogate", "\xED\xA0\x80", "\"\\u00ED\\u00A0\\u0080\""},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "\"\\u00F4\\u0090\\u0080\\u0080\""},
      {"sequence cut by the end", "ab\xE6\x97", "\"ab\\u00E6\\u0097\""},
      {"empty", "", "\"\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JsonBytes(c.bytes), c.json) << c.label;
  }
}

TEST(ReportJsonText, Paths) {
#ifdef _WIN32
  EXPECT_EQ(JsonPath(L"C:\\D\u00E9j\u00E0\\a.ods"), "\"C:\\\\D\xC3\xA9j\xC3\xA0\\\\a.ods\"");
  EXPECT_EQ(JsonPath(L"\U0001F600.ods"), "\"\xF0\x9F\x98\x80.ods\"");
  EXPECT_EQ(JsonPath(std::wstring(L"a") + wchar_t(0xD800) + L"b"), "\"a\\uD800b\"");
#else
  EXPECT_EQ(JsonPath(platform::WidenPath("/tmp/\xC3\xA9.ods")), "\"/tmp/\xC3\xA9.ods\"");
  EXPECT_EQ(JsonPath(platform::WidenPath("/tmp/\xE9.ods")), "\"/tmp/\\u00E9.ods\"");
#endif
}

// A run that reached the first of two files and was stopped before the second.
FileRecovery HandMadeRecovery(const std::wstring& path) {
  FileRecovery r;
  r.path = path;
  r.opened = true;
  r.repaired = true;
  RecoveredEntry content;
  content.name = L"content.xml";
  content.header_offset = 84;
  content.data_offset = 125;
  content.compressed_size = 300;
  content.uncompressed_size = 1000;
  content.method = 8;
  content.flags = 8;
  content.crc32 = 0x0A1B2C3D;
  content.size_source = RecoveredEntry::SizeSource::kStream;
  RecoveredEntry picture;
  picture.name = L"Pictures\\caf\u00E9.png";  // the byte E9, not UTF-8
  picture.compressed_size = picture.uncompressed_size = 5;
  RecoveredEntry cut;
  cut.name = L"\u00C3\u00A9t\u00C3\u00A9 \"q\".xml";  // the UTF-8 bytes of "été"
  cut.method = 8;
  cut.flags = 8;
  cut.crc_known = false;
  cut.size_source = RecoveredEntry::SizeSource::kNone;
  RecoveredEntry left;
  left.name = L"settings.xml";
  left.compressed_size = left.uncompressed_size = 7;
  left.size_source = RecoveredEntry::SizeSource::kDescriptor;
  r.entries = {content, picture, cut, left};
  EntryOutcome written;
  written.written = true;
  written.crc_checked = true;
  written.crc_matched = true;
  written.bytes_written = 1000;
  written.output_path = L"out";
  EntryOutcome mismatch = written;
  written.repaired = true;  // one changed byte undone
  written.repair_offset = 200;
  written.repair_old = 0x41;
  written.repair_new = 0xC3;
  mismatch.crc_matched = false;
  mismatch.bytes_written = 5;
  mismatch.output_path.clear();
  EntryOutcome salvaged;
  salvaged.written = true;
  salvaged.salvaged = true;
  salvaged.bytes_written = 420;
  salvaged.salvaged_bytes = 400;
  r.outcomes = {written, mismatch, salvaged};  // none for the last entry
  r.synthesised = {L"mimetype", L"META-INF/manifest.xml"};
  return r;
}

TEST(ReportWriter, JsonOfAHandMadeRecovery) {
  ReportWriter writer("repair", {L"a.ods", L"b.ods"});
  writer.OnFileRecovered(HandMadeRecovery(L"a.ods"));
  const std::string json = writer.Json(true);
  for (const char* part : {
           "\"command\": \"repair\", \"stopped\": true",
           "{\"path\": \"a.ods\", \"reached\": true, \"opened\": true, \"repaired\": true",
           "{\"name\": \"content.xml\", \"header_offset\": 84, \"data_offset\": 125, "
           "\"compressed_size\": 300, \"uncompressed_size\": 1000, \"method\": 8, \"flags\": 8, "
           "\"size_source\": \"stream\", \"crc32\": \"0a1b2c3d\", \"crc_matched\": true, "
           "\"written\": true, \"bytes_written\": 1000, \"salvaged\": false, "
           "\"salvaged_bytes\": 0, \"repaired\": true, "
           "\"repair\": {\"offset\": 200, \"old\": 65, \"new\": 195}, \"output\": \"out\"}",
           "{\"name\": \"Pictures/caf\\u00E9.png\"",
           "\"crc_matched\": false, \"written\": true, \"bytes_written\": 5",
           "{\"name\": \"\xC3\xA9t\xC3\xA9 \\\"q\\\".xml\"",
           "\"size_source\": \"none\", \"crc32\": null, \"crc_matched\": null, \"written\": true, "
           "\"bytes_written\": 420, \"salvaged\": true, \"salvaged_bytes\": 400, "
           "\"repaired\": false, \"repair\": null, \"output\": null}",
           "\"size_source\": \"descriptor\", \"crc32\": \"00000000\", \"crc_matched\": null, "
           "\"written\": false, \"bytes_written\": 0",
           "\"synthesised\": [\"mimetype\", \"META-INF/manifest.xml\"]",
           "{\"path\": \"b.ods\", \"reached\": false, \"opened\": false, \"repaired\": false,\n"
           "      \"verdict\": \"not_repaired\", \"summary\": \"Not repaired: the run was stopped "
           "before it....\", \"saved\": null,\n"
           "      \"entries\": [],\n      \"synthesised\": [],\n      \"documents\": []}",
       }) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\nin\n" << json;
  }
}

// Every document a file held has its record: its verdict, sheets, pictures and lost parts, with
// its entries and completion; the summary counts the files by verdict and by save.
TEST(ReportWriter, EveryDocumentHasItsVerdict) {
  ReportWriter writer("repair", {L"a.ods", L"one.ods", L"gone.ods"});
  FileRecovery joined = HandMadeRecovery(L"a.ods");
  DocumentRecovery first;
  first.entry_count = 2;
  first.synthesised = {L"mimetype", L"META-INF/manifest.xml"};
  first.verdict.verdict = Verdict::kPartial;
  first.verdict.sheets = {{L"Ledger", 1612, 3224, true}, {L"Été", 3, 6, false}};
  first.verdict.notes = {L"sheet 'Ledger' ends at the damage", L"2 of 3 pictures"};
  first.verdict.pictures_referenced = 3;
  first.verdict.pictures_recovered = 2;
  first.verdict.parts_lost = {L"Pictures/caf\u00E9.png"};
  DocumentRecovery second;
  second.first_entry = 2;
  second.entry_count = 2;
  second.synthesised = {L"META-INF/manifest.xml"};
  second.verdict.verdict = Verdict::kLost;
  second.verdict.notes = {L"no sheet data came back (content.xml is missing)"};
  joined.documents = {first, second};
  joined.verdict.verdict = Verdict::kPartial;
  joined.verdict.summary = L"Partly repaired: ....";
  writer.OnFileRecovered(joined);
  FileRecovery single = HandMadeRecovery(L"one.ods");
  DocumentRecovery whole;
  whole.entry_count = 4;
  whole.verdict.verdict = Verdict::kComplete;
  single.documents = {whole};
  single.verdict.verdict = Verdict::kComplete;
  writer.OnFileRecovered(single);
  writer.OnFileSaved({L"a.ods", true});
  writer.OnFileSaved({L"one.ods", false});
  writer.OnFileSaved({L"gone.ods", false});
  const std::string json = writer.Json(false);
  for (const char* part : {
           "\"summary\": {\"files\": 3, \"complete\": 1, \"partial\": 1, \"lost\": 0, "
           "\"not_repaired\": 1, \"saved\": 1, \"not_saved\": 2}",
           "\"verdict\": \"partial\", \"summary\": \"Partly repaired: ....\", \"saved\": true",
           "      \"documents\": [\n"
           "        {\"verdict\": \"partial\", \"reason\": \"sheet 'Ledger' ends at the damage; 2 "
           "of 3 pictures\", \"package\": null,\n"
           "         \"sheets\": [{\"name\": \"Ledger\", \"rows\": 1612, \"cells\": 3224, "
           "\"cut\": true}, {\"name\": \"\xC3\x89t\xC3\xA9\", \"rows\": 3, \"cells\": 6, "
           "\"cut\": false}],\n"
           "         \"pictures\": {\"referenced\": 3, \"recovered\": 2}, \"parts_lost\": "
           "[\"Pictures/caf\\u00E9.png\"],\n"
           "         \"first_entry\": 0, \"entries\": 2, \"package_suffix\": \"\", "
           "\"synthesised\": [\"mimetype\", \"META-INF/manifest.xml\"]},\n"
           "        {\"verdict\": \"lost\", \"reason\": \"no sheet data came back (content.xml is "
           "missing)\", \"package\": null,\n"
           "         \"sheets\": [],\n"
           "         \"pictures\": {\"referenced\": 0, \"recovered\": 0}, \"parts_lost\": [],\n"
           "         \"first_entry\": 2, \"entries\": 2, \"package_suffix\": \"~2\", "
           "\"synthesised\": [\"META-INF/manifest.xml\"]}\n      ]}",
           "\"verdict\": \"complete\", \"summary\": \"\", \"saved\": false",
           "{\"path\": \"gone.ods\", \"reached\": false, \"opened\": false, \"repaired\": "
           "false,\n      \"verdict\": \"not_repaired\"",
       }) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\nin\n" << json;
  }
}

TEST(ReportWriter, WriteFailsWhereNoFileCanBeMade) {
  test::ScratchFolder scratch;
  ReportWriter writer("extract", {});
  EXPECT_FALSE(writer.Write(test::Join(scratch.Path(L"missing"), L"r.json"), false));
  const std::wstring path = scratch.Path(L"r.json");
  ASSERT_TRUE(writer.Write(path, false));
  const test::Bytes bytes = test::ReadBytes(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
            "{\"report\": \"velmora\", \"version\": 2, \"command\": \"extract\", \"stopped\": "
            "false,\n  \"summary\": {\"files\": 0, \"complete\": 0, \"partial\": 0, \"lost\": 0, "
            "\"not_repaired\": 0, \"saved\": 0, \"not_saved\": 0},\n  \"files\": []}\n");
}

#ifndef _WIN32
// Python reads the report back (json.load of the file as strict UTF-8) and prints what it holds,
// one line per file and entry, key=value in the report's order, text as JSON with non-ASCII
// characters as \u escapes. Only an entry's "output" is cut down to whether it is there.
const char kReadBack[] =
    "import json, sys\n"
    "r = json.load(open(sys.argv[1], encoding='utf-8'))\n"
    "def show(kind, o):\n"
    "    print(kind, ' '.join('%s=%s' % (k, json.dumps(v, ensure_ascii=True))\n"
    "                         for k, v in o.items() if k not in ('files', 'entries')))\n"
    "show('report', r)\n"
    "for f in r['files']:\n"
    "    show('file', f)\n"
    "    for e in f['entries']:\n"
    "        e['output'] = e['output'] is not None\n"
    "        show('entry', e)\n";

bool PythonAvailable() {
  return test::CommandSucceeds("python3 -c 'import json'");
}

using test::QuotedPath;
using test::RunCommand;
using RunResult = test::CommandResult;

// The report's lines as Python read them.
std::vector<std::string> ReadBack(const test::ScratchFolder& scratch, const std::wstring& report) {
  const std::wstring script = scratch.Path(L"read_back.py");
  EXPECT_TRUE(test::WriteText(script, kReadBack));
  const RunResult r =
      RunCommand("python3 " + QuotedPath(script) + " " + QuotedPath(report) + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(r.out.substr(start, end - start));
  }
  return lines;
}

TEST(ReportWriter, PythonReadsTheReportBack) {
  if (!PythonAvailable()) GTEST_SKIP() << "python3 is not installed";
  test::ScratchFolder scratch;
  const std::wstring odd = platform::WidenPath("/tmp/b\xFF.ods");
  ReportWriter writer("repair", {L"/tmp/a.ods", odd});
  writer.OnFileRecovered(HandMadeRecovery(L"/tmp/a.ods"));
  const std::wstring report = scratch.Path(L"r.json");
  ASSERT_TRUE(writer.Write(report, true));
  const std::string sizes_zero = "header_offset=0 data_offset=0 ";
  const std::vector<std::string> expected = {
      "report report=\"velmora\" version=2 command=\"repair\" stopped=true "
      "summary={\"files\": 2, \"complete\": 0, \"partial\": 0, \"lost\": 0, \"not_repaired\": 2, "
      "\"saved\": 0, \"not_saved\": 2}",
      "file path=\"/tmp/a.ods\" reached=true opened=true repaired=true verdict=\"not_repaired\" "
      "summary=\"\" saved=null synthesised=[\"mimetype\", \"META-INF/manifest.xml\"] "
      "documents=[]",
      "entry name=\"content.xml\" header_offset=84 data_offset=125 compressed_size=300 "
      "uncompressed_size=1000 method=8 flags=8 size_source=\"stream\" crc32=\"0a1b2c3d\" "
      "crc_matched=true written=true bytes_written=1000 salvaged=false salvaged_bytes=0 "
      "repaired=true repair={\"offset\": 200, \"old\": 65, \"new\": 195} output=true",
      "entry name=\"Pictures/caf\\u00e9.png\" " + sizes_zero +
          "compressed_size=5 uncompressed_size=5 method=0 flags=0 size_source=\"header\" "
          "crc32=\"00000000\" crc_matched=false written=true bytes_written=5 salvaged=false "
          "salvaged_bytes=0 repaired=false repair=null output=false",
      "entry name=\"\\u00e9t\\u00e9 \\\"q\\\".xml\" " + sizes_zero +
          "compressed_size=0 uncompressed_size=0 method=8 flags=8 size_source=\"none\" "
          "crc32=null crc_matched=null written=true bytes_written=420 salvaged=true "
          "salvaged_bytes=400 repaired=false repair=null output=false",
      "entry name=\"settings.xml\" " + sizes_zero +
          "compressed_size=7 uncompressed_size=7 method=0 flags=0 size_source=\"descriptor\" "
          "crc32=\"00000000\" crc_matched=null written=false bytes_written=0 salvaged=false "
          "salvaged_bytes=0 repaired=false repair=null output=false",
      "file path=\"/tmp/b\\u00ff.ods\" reached=false opened=false repaired=false "
      "verdict=\"not_repaired\" summary=\"Not repaired: the run was stopped before it....\" "
      "saved=null synthesised=[] documents=[]",
  };
  EXPECT_EQ(ReadBack(scratch, report), expected);
}

// `velmora repair` on a small package whose content.xml has a flipped size bit in its header.
class CliReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::MakeDirectory(tmp_);
    test::Bytes zip =
        test::MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                       {"content.xml", test::TinyContentXml(std::string(2000, 'c')), true, true},
                       {"Pictures/p.png", "png", false},
                       {"styles.xml", test::kTinyStylesXml, true}});
    // content.xml's header starts after mimetype's 30 + 8 + 46 bytes; bit 8 of its
    // compressed size, written as 0, flipped.
    zip[84 + 18 + 1] ^= 0x01;
    input_ = scratch_.Path(L"x.ods");
    ASSERT_TRUE(test::WriteBytes(input_, zip));
  }
  RunResult Velmora(const std::string& args) {
    return RunCommand("TMPDIR=" + QuotedPath(tmp_) + " '" VELMORA_CLI_PATH "' " + args + " 2>&1");
  }
  test::ScratchFolder scratch_;
  std::wstring tmp_ = scratch_.Path(L"tmp");
  std::wstring input_;
};

TEST_F(CliReportTest, RepairWritesTheReport) {
  if (!PythonAvailable()) GTEST_SKIP() << "python3 is not installed";
  const std::wstring report = scratch_.Path(L"r.json");
  const RunResult r = Velmora("repair " + QuotedPath(input_) + " --out " +
                              QuotedPath(scratch_.Path(L"D")) + " --report " + QuotedPath(report));
  EXPECT_EQ(r.status, 0) << r.out;
  const std::vector<std::string> lines = ReadBack(scratch_, report);
  ASSERT_GE(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0],
            "report report=\"velmora\" version=2 command=\"repair\" stopped=false "
            "summary={\"files\": 1, \"complete\": 1, \"partial\": 0, \"lost\": 0, "
            "\"not_repaired\": 0, \"saved\": 1, \"not_saved\": 0}");
  const std::string file = "file path=\"" + platform::NarrowPath(input_) +
                           "\" reached=true opened=true repaired=true verdict=\"complete\" ";
  EXPECT_EQ(lines[1].substr(0, file.size()), file);
  // Every entry is found with its true sizes, even the one whose header lies; each is written,
  // and no CRC-32 comparison failed.
  const std::vector<std::string> entries(lines.begin() + 2, lines.end());
  ASSERT_EQ(entries.size(), 4u) << r.out;
  const std::string starts[] = {
      "entry name=\"mimetype\" header_offset=0 data_offset=38 compressed_size=46 "
      "uncompressed_size=46 method=0 flags=0 size_source=\"header\" ",
      "entry name=\"content.xml\" header_offset=84 data_offset=125 ",
      "entry name=\"Pictures/p.png\" ",
  };
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(entries[i].substr(0, starts[i].size()), starts[i]);
    EXPECT_NE(entries[i].find(" written=true "), std::string::npos) << entries[i];
    EXPECT_EQ(entries[i].find(" crc_matched=false "), std::string::npos) << entries[i];
  }
  const std::string size = std::to_string(test::TinyContentXml(std::string(2000, 'c')).size());
  EXPECT_NE(entries[1].find(" uncompressed_size=" + size +
                            " method=8 flags=8 size_source=\"descriptor\" "),
            std::string::npos)
      << entries[1];
  EXPECT_NE(entries[1].find(" bytes_written=" + size + " "), std::string::npos) << entries[1];
}

TEST_F(CliReportTest, ReportThatCannotBeWrittenExitsWithOne) {
  const std::wstring out = scratch_.Path(L"D");
  const RunResult r =
      Velmora("repair " + QuotedPath(input_) + " --out " + QuotedPath(out) + " --report " +
              QuotedPath(test::Join(scratch_.Path(L"missing"), L"r.json")));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("velmora: cannot write the report "), std::string::npos) << r.out;
  // The packages are written all the same.
  EXPECT_FALSE(test::ReadBytes(out + L"/VONDRELREP_x.ods").empty());
  const RunResult missing = Velmora("extract " + QuotedPath(input_) + " --report");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("--report needs a file"), std::string::npos) << missing.out;
}
#endif

}  // namespace
}  // namespace velmora::cli
