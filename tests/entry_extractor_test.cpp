// ExtractEntry and ExtractAllEntries against real files: which entries yield files and their
// bytes, no temporary or partial files left behind, memory bounded whatever a header claims,
// and the file bar's sequence.
#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/extract/entry_extractor.h"
#include "engine/job/repair_steps.h"
#include "extraction_fixtures.h"
#include "support/peak_memory.h"
#include "support/recording_window.h"
#include "xml_check.h"

namespace velmora {
namespace {

using extraction_test::Join;
using extraction_test::Names;
using extraction_test::NoiseBytes;
using extraction_test::RawDeflate;
using extraction_test::ReadBytes;
using extraction_test::ScratchFolder;
using extraction_test::TempFolderRedirect;
using extraction_test::WriteBytes;
using extraction_test::XmlLikeText;

constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
// Bytes in front of an entry's data in a damaged file: a local header would sit there.
const std::string kLead = "PK\x03\x04 header and name bytes";

struct ExtractCase {
  const char* what;
  std::string data;  // the entry's bytes in the damaged file (the file ends after them)
  uint32_t z;
  uint32_t u;
  uint16_t method;
  bool yields_file;
  std::string content;
};

// A scratch folder holding the damaged files and the output, with the temporary-files folder
// pointed at a folder of its own, so a test sees exactly the "OPC" files it made.
class ExtractTest : public ::testing::Test {
 protected:
  ExtractTest() : temp_(TempPath()), redirect_(temp_) {
    platform::MakeDirectory(temp_);
    platform::MakeDirectory(out_);
  }
  void SetUp() override {
    // Otherwise the checks for leftover "OPC" files would look in the wrong folder.
    ASSERT_EQ(platform::TempFolder(), temp_ + platform::kSeparator);
  }

  // Writes a damaged file: kLead, then `data`; returns an entry whose data offset points at it.
  RecoveredEntry Damaged(const std::string& data, uint32_t z, uint32_t u, uint16_t method,
                         const std::wstring& file = L"damaged.ods") {
    EXPECT_TRUE(WriteBytes(scratch_.Path(file), kLead + data));
    RecoveredEntry entry;
    entry.compressed_size = z;
    entry.uncompressed_size = u;
    entry.method = method;
    entry.data_offset = kLead.size();
    entry.name = L"out.xml";
    entry.crc_known = false;
    return entry;
  }

  std::wstring DamagedPath() const { return scratch_.Path(L"damaged.ods"); }
  // What the case expects of the output folder, with the outcome of its entry.
  void CheckCase(const ExtractCase& c, const EntryOutcome& outcome);
  std::wstring Out(const std::wstring& name) const { return Join(out_, name); }

  ScratchFolder scratch_;
  std::wstring temp_;
  TempFolderRedirect redirect_;
  std::wstring out_ = scratch_.Path(L"out");

 private:
  std::wstring TempPath() const { return scratch_.Path(L"temp"); }
};

TEST_F(ExtractTest, WhichEntriesYieldFiles) {
  const std::string text = XmlLikeText(1000);
  const std::string stream = RawDeflate(text);
  const auto zs = static_cast<uint32_t>(stream.size());
  ASSERT_LT(zs, 1000u);
  // A deflated entry whose two sizes happen to be equal: the stream, then bytes that follow
  // it inside the entry's data (the inflater stops at the stream's end).
  const std::string padded = stream + std::string(1000 - stream.size(), '\x5A');
  const std::string noise = NoiseBytes(1000);
  const std::string noise_stream = RawDeflate(noise);
  const auto zn = static_cast<uint32_t>(noise_stream.size());
  ASSERT_GT(zn, 1000u);
  const std::string stored = NoiseBytes(1000, 99);

  const ExtractCase cases[] = {
      {"stored, Z = U = 1000: copied", stored, 1000, 1000, kStored, true, stored},
      {"deflated, Z = U: inflated, not copied", padded, 1000, 1000, kDeflated, true, text},
      {"deflated, Z < U: inflated", stream, zs, 1000, kDeflated, true, text},
      {"deflated, Z > U (incompressible): inflated", noise_stream, zn, 1000, kDeflated, true,
       noise},
      {"stream longer than U: its first U bytes", stream, zs, 700, kDeflated, true,
       text.substr(0, 700)},
      {"Z = 5, U = 0: the stream's beginning is no file", stream.substr(0, 5), 5, 0, kDeflated,
       false, ""},
      {"Z = 0, U = 10: no file", "", 0, 10, kDeflated, false, ""},
      {"Z = 0, U = 0, stored: an empty file", "", 0, 0, kStored, true, ""},
      {"stream ends before U: no file", stream, zs, 1001, kDeflated, false, ""},
      {"stream cut short: no file", stream.substr(0, zs / 2), zs / 2, 1000, kDeflated, false, ""},
      {"not DEFLATE data: no file", std::string(300, '\xFF'), 300, 1000, kDeflated, false, ""},
      {"stored, the file ends inside the data: no file", stored.substr(0, 600), 1000, 1000, kStored,
       false, ""},
      {"deflated, the file ends inside the data but the stream is whole: inflated", stream,
       zs + 500, 1000, kDeflated, true, text},
      {"deflated, the file ends inside the stream: no file", stream.substr(0, zs - 20), zs, 1000,
       kDeflated, false, ""},
  };
  // Each entry with a temporary file of its own, then all with one shared by them, as the
  // entries of one damaged file share it: what an earlier entry left in it must not matter.
  for (bool shared : {false, true}) {
    std::optional<InflateScratch> scratch;
    if (shared) scratch.emplace();
    for (const ExtractCase& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << (shared ? ", shared temporary file" : ""));
      const RecoveredEntry entry = Damaged(c.data, c.z, c.u, c.method);
      EntryOutcome outcome;
      if (shared) {
        platform::File damaged = platform::File::OpenRead(DamagedPath(), platform::Sharing::kNone);
        outcome = ExtractEntry(damaged, Out(L"out.xml"), entry, UINT64_MAX, {}, &*scratch);
      } else {
        outcome = ExtractEntry(DamagedPath(), Out(L"out.xml"), entry);
      }
      CheckCase(c, outcome);
      // One temporary file while the shared one lives, none once an entry of its own is done.
      EXPECT_LE(Names(temp_).size(), shared ? 1u : 0u) << "temporary files left behind";
      platform::RemoveFile(Out(L"out.xml"));
    }
    scratch.reset();
    EXPECT_EQ(Names(temp_), std::vector<std::wstring>{}) << "temporary files left behind";
  }
}

// A bit flipped in the local header's plain size must not cut a stream that is whole: it is
// inflated to its own end, and the CRC-32 says whether that is the entry.
TEST_F(ExtractTest, AWholeStreamWinsOverADamagedSizeWhenTheCrcConfirmsIt) {
  const std::string text = XmlLikeText(5000);
  const std::string stream = RawDeflate(text);
  const auto zs = static_cast<uint32_t>(stream.size());
  const uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
  struct Case {
    const char* what;
    uint32_t u;
    uint32_t crc;
    bool matched;
    size_t size;
  };
  const Case cases[] = {
      {"size shrunk by a flipped bit: the whole stream", 5000 ^ 4096, crc, true, 5000},
      {"size grown by a flipped bit: the whole stream", 5000 ^ 0x10000, crc, true, 5000},
      {"size zeroed: the whole stream", 0, crc, true, 5000},
      {"size shrunk and a CRC-32 that fails: the size stands", 5000 ^ 4096, crc ^ 1, false, 904},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecoveredEntry entry = Damaged(stream, zs, c.u, kDeflated);
    entry.name = L"picture.bin";
    entry.crc_known = true;
    entry.crc32 = c.crc;
    const EntryOutcome outcome = ExtractEntry(DamagedPath(), Out(L"out.bin"), entry);
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(outcome.crc_matched, c.matched);
    EXPECT_EQ(outcome.bytes_written, c.size);
    EXPECT_TRUE(ReadBytes(Out(L"out.bin")) == text.substr(0, c.size));
    platform::RemoveFile(Out(L"out.bin"));
  }
}

void ExtractTest::CheckCase(const ExtractCase& c, const EntryOutcome& outcome) {
  EXPECT_EQ(outcome.written, c.yields_file);
  EXPECT_EQ(outcome.output_path, Out(L"out.xml"));
  EXPECT_FALSE(outcome.salvaged);
  EXPECT_FALSE(outcome.crc_checked);  // no CRC known
  if (c.yields_file) {
    EXPECT_EQ(Names(out_), std::vector<std::wstring>{L"out.xml"});
    EXPECT_TRUE(ReadBytes(Out(L"out.xml")) == c.content);
    EXPECT_EQ(outcome.bytes_written, c.content.size());
  } else {
    // No file, and no partial output either.
    EXPECT_EQ(Names(out_), std::vector<std::wstring>{});
  }
}

TEST_F(ExtractTest, FailedEntryKeepsTheEarlierFileOfTheSameName) {
  const std::string text = XmlLikeText(1000);
  const std::string stream = RawDeflate(text);
  const auto zs = static_cast<uint32_t>(stream.size());
  ExtractEntry(DamagedPath(), Out(L"out.xml"), Damaged(stream, zs, 1000, kDeflated));
  ASSERT_TRUE(ReadBytes(Out(L"out.xml")) == text);

  // Broken stream, short stream, short stored copy: the first file stays as it was.
  ExtractEntry(DamagedPath(), Out(L"out.xml"),
               Damaged(std::string(300, '\xFF'), 300, 1000, kDeflated));
  ExtractEntry(DamagedPath(), Out(L"out.xml"), Damaged(stream, zs, 5000, kDeflated));
  ExtractEntry(DamagedPath(), Out(L"out.xml"), Damaged("abc", 1000, 1000, kStored));
  EXPECT_TRUE(ReadBytes(Out(L"out.xml")) == text);
  EXPECT_EQ(Names(out_), std::vector<std::wstring>{L"out.xml"});

  // A later entry that succeeds replaces it.
  ExtractEntry(DamagedPath(), Out(L"out.xml"), Damaged("new bytes", 9, 9, kStored));
  EXPECT_EQ(ReadBytes(Out(L"out.xml")), "new bytes");
}

TEST_F(ExtractTest, AnEntryNamedLikeThePartialFileIsNotOverwritten) {
  ExtractEntry(DamagedPath(), Out(L"~velmora.part"), Damaged("first", 5, 5, kStored));
  ExtractEntry(DamagedPath(), Out(L"second.xml"), Damaged("second", 6, 6, kStored));
  EXPECT_EQ(ReadBytes(Out(L"~velmora.part")), "first");
  EXPECT_EQ(ReadBytes(Out(L"second.xml")), "second");
  EXPECT_EQ(Names(out_), (std::vector<std::wstring>{L"second.xml", L"~velmora.part"}));
}

TEST_F(ExtractTest, ClaimedSizesDoNotDecideMemory) {
  const test::PeakMemory peak;
  const std::string text = XmlLikeText(1000);
  const std::string stream = RawDeflate(text);
  const auto zs = static_cast<uint32_t>(stream.size());
  // A 1 KB file whose header claims 4 GiB, uncompressed, compressed, or both (stored).
  ExtractEntry(DamagedPath(), Out(L"u.xml"), Damaged(stream, zs, 0xFFFFFFFFu, kDeflated));
  ExtractEntry(DamagedPath(), Out(L"z.xml"), Damaged(stream, 0xFFFFFFF0u, 1000, kDeflated));
  ExtractEntry(DamagedPath(), Out(L"s.xml"),
               Damaged(NoiseBytes(1000), 0xFFFFFFF0u, 0xFFFFFFF0u, kStored));
  // Only the stream that is whole within the file gives a file.
  EXPECT_EQ(Names(out_), std::vector<std::wstring>{L"z.xml"});
  EXPECT_TRUE(ReadBytes(Out(L"z.xml")) == text);
  EXPECT_EQ(Names(temp_), std::vector<std::wstring>{});
  if (!peak.available()) GTEST_SKIP() << "the peak memory cannot be measured here";
  EXPECT_LT(peak.GrowthKiB(), 64 * 1024) << "peak memory grew by more than 64 MB";
}

TEST_F(ExtractTest, UnreadableDamagedFileYieldsNoFile) {
  RecoveredEntry entry = Damaged("abc", 3, 3, kStored);
  ExtractEntry(scratch_.Path(L"gone.ods"), Out(L"out.xml"), entry);
  ExtractEntry(DamagedPath(), Join(Out(L"missing-folder"), L"x.xml"), entry);
  EXPECT_EQ(Names(out_), std::vector<std::wstring>{});
  EXPECT_EQ(Names(temp_), std::vector<std::wstring>{});
}

RecoveredEntry Listed(const std::wstring& name, uint64_t offset, uint32_t z, uint32_t u,
                      uint16_t method) {
  RecoveredEntry entry;
  entry.name = name;
  entry.data_offset = offset;
  entry.compressed_size = z;
  entry.uncompressed_size = u;
  entry.method = method;
  entry.crc_known = false;
  return entry;
}

TEST_F(ExtractTest, AllEntriesGoIntoTheFileFolderWithSubFolders) {
  const std::string manifest = "<manifest/>";
  const std::string text = XmlLikeText(5000);
  const std::string stream = RawDeflate(text);
  const std::string picture = NoiseBytes(700);
  // The damaged file: kLead, then the three entries' data one after the other.
  const std::string bytes = kLead + manifest + stream + picture;
  ASSERT_TRUE(WriteBytes(DamagedPath(), bytes));
  const uint64_t at = kLead.size();
  const auto zs = static_cast<uint32_t>(stream.size());

  test::RecordingWindow view;
  view.entries = {
      Listed(L"mimetype", at, 11, 11, kStored),
      Listed(L"content.xml", at + 11, zs, 5000, kDeflated),
      Listed(L"Thumbnails\\thumbnail.png", at + 11 + zs, 700, 700, kStored),
      Listed(L"broken.xml", at, 11, 2000, kDeflated),
      Listed(L"..\\..\\escaped.xml", at, 11, 11, kStored),
      Listed(L"Pictures\\", at, 11, 11, kStored),
  };
  // The folder is handed over without a trailing separator; extraction adds it.
  const std::wstring folder = scratch_.Path(L"Budget.ods0");
  ASSERT_EQ(platform::MakeDirectory(folder), platform::MakeDirResult::kCreated);
  ExtractAllEntries(view, folder, DamagedPath(), view.entries);

  EXPECT_EQ(Names(folder), (std::vector<std::wstring>{L"Thumbnails", L"content.xml", L"escaped.xml",
                                                      L"mimetype"}));
  EXPECT_EQ(ReadBytes(Join(folder, L"mimetype")), manifest);
  EXPECT_TRUE(ReadBytes(Join(folder, L"content.xml")) == text);
  EXPECT_TRUE(ReadBytes(Join(Join(folder, L"Thumbnails"), L"thumbnail.png")) == picture);
  EXPECT_EQ(ReadBytes(Join(folder, L"escaped.xml")), manifest);
  // Nothing was written beside the file folder.
  EXPECT_EQ(Names(scratch_.path()),
            (std::vector<std::wstring>{L"Budget.ods0", L"damaged.ods", L"out", L"temp"}));
  EXPECT_EQ(Names(temp_), std::vector<std::wstring>{});
  EXPECT_TRUE(view.boxes.empty());
}

TEST_F(ExtractTest, FileBarCountsTheEntries) {
  ASSERT_TRUE(WriteBytes(DamagedPath(), kLead + "abc"));
  const uint64_t at = kLead.size();
  test::RecordingWindow view;
  view.entries = {Listed(L"a", at, 3, 3, kStored), Listed(L"b", at, 3, 3, kStored),
                  Listed(L"c", at, 3, 3, kStored)};
  ExtractAllEntries(view, out_, DamagedPath(), view.entries);
  std::vector<std::wstring> bar;
  for (const std::wstring& call : view.calls)
    if (call.find(L" File") != std::wstring::npos) bar.push_back(call);
  EXPECT_EQ(
      bar, (std::vector<std::wstring>{L"ResetEstimate File", L"SetBarRange File 3",
                                      L"SetBarPos File 0", L"SetBarPos File 0", L"SetBarPos File 1",
                                      L"SetBarPos File 2", L"SetBarPos File 3"}));

  test::RecordingWindow empty;
  ExtractAllEntries(empty, out_, DamagedPath(), {});
  EXPECT_EQ(empty.calls, (std::vector<std::wstring>{L"ResetEstimate File", L"SetBarRange File 0",
                                                    L"SetBarPos File 0", L"SetBarPos File 0"}));
}

// ---- Damaged XML parts: salvage ----

const std::string kSheetHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.3\">"
    "<office:body><office:spreadsheet><table:table table:name=\"Sheet1\">";
const std::string kSheetTail =
    "</table:table></office:spreadsheet></office:body></office:document-content>";

std::string SheetRow(uint32_t row) {
  const std::string n = std::to_string(row);
  return "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"" + n +
         "\"><text:p>" + n + "</text:p></table:table-cell><table:table-cell><text:p>row " + n +
         "</text:p></table:table-cell>"
         "<table:table-cell table:number-columns-repeated=\"1022\"/></table:table-row>";
}

// A content.xml with `rows` rows.
std::string SheetXml(uint32_t rows) {
  std::string xml = kSheetHead;
  for (uint32_t row = 1; row <= rows; ++row) xml += SheetRow(row);
  return xml + kSheetTail;
}

// What salvage must give for a well-formed `text` of which only the first `limit` bytes are
// sound: the text up to the end of the last element (or, before any, the root's start tag)
// that ends within them outside any cell, then the end tags of the elements open there. Works
// on the tag shapes the fixtures above use; "<none>" when not even the root's start tag is
// whole.
std::string ExpectedSalvage(const std::string& text, size_t limit) {
  std::vector<std::string> open;
  std::vector<std::string> open_at_cut;
  size_t cut = std::string::npos;
  // A cell is kept whole or not at all: no cut while one is open.
  const auto in_cell = [&open] {
    return std::find(open.begin(), open.end(), "table:table-cell") != open.end();
  };
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at)) {
    const size_t close = text.find('>', at);
    if (close == std::string::npos || close >= limit) break;
    if (text[at + 1] == '/') {
      open.pop_back();
      if (!in_cell()) {
        cut = close + 1;
        open_at_cut = open;
      }
    } else if (text[close - 1] == '/') {
      if (!in_cell()) {
        cut = close + 1;
        open_at_cut = open;
      }
    } else if (text[at + 1] != '?') {
      open.push_back(text.substr(at + 1, text.find_first_of(" >", at) - at - 1));
      if (cut == std::string::npos) {
        cut = close + 1;
        open_at_cut = open;
      }
    }
    at = close + 1;
  }
  if (cut == std::string::npos) return "<none>";
  std::string expected = text.substr(0, cut);
  for (size_t i = open_at_cut.size(); i-- > 0;) expected += "</" + open_at_cut[i] + ">";
  return expected;
}

uint32_t Crc(const std::string& data) {
  return crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
}

// What zlib gives for a raw stream before it ends, breaks or runs out.
std::string InflatePrefix(const std::string& stream) {
  return test::RawInflate(stream, 1 << 20).data;
}

// A raw stream of `first` that ends on a byte boundary without ending the stream, so that more
// blocks could follow.
std::string FlushedDeflate(const std::string& first) {
  return RawDeflate(first, 6, Z_FULL_FLUSH);
}

struct SalvageCase {
  const char* what;
  std::wstring name;
  std::string data;  // the entry's bytes in the damaged file, which ends after them
  uint32_t z;
  uint32_t u;
  uint16_t method;
  bool crc_known;
  uint32_t crc;
  RecoveredEntry::SizeSource source;
  // What the file must hold: "<none>" for no file.
  std::string content;
  bool salvaged;
};

TEST_F(ExtractTest, DamagedXmlPartsAreCutAtTheirLastCompleteElement) {
  using Source = RecoveredEntry::SizeSource;
  const std::string sheet = SheetXml(60);
  const auto u = static_cast<uint32_t>(sheet.size());
  const uint32_t crc = Crc(sheet);
  const std::string stream = RawDeflate(sheet);
  const auto zs = static_cast<uint32_t>(stream.size());
  // The file ends in the middle of the stream, somewhere inside a row.
  const std::string cut_stream = stream.substr(0, zs * 6 / 10);
  const std::string cut_decoded = InflatePrefix(cut_stream);
  ASSERT_GT(cut_decoded.size(), kSheetHead.size() + 1000);
  ASSERT_LT(cut_decoded.size(), sheet.size());

  // Stored blocks: zeros in the data decode as NUL bytes, the stream stays whole and only the
  // CRC-32 notices (as zeros inside a Huffman-coded block can decode to garbage).
  const std::string stored_blocks = RawDeflate(sheet, 0);
  const size_t zero_at = sheet.size() / 2;
  std::string zeroed = stored_blocks;
  zeroed.replace(5 + zero_at, 64, std::string(64, '\0'));  // 5: the block's header
  ASSERT_EQ(InflatePrefix(zeroed).substr(0, zero_at), sheet.substr(0, zero_at));
  // A digit changed: wrong, but still a well-formed document; the CRC-32 finds the one byte
  // and it is undone. Two digits changed: no one byte explains it, so it is kept as it is.
  std::string changed = stored_blocks;
  const size_t digit = 5 + sheet.find("<text:p>7</text:p>") + 8;
  changed[digit] = '8';
  std::string changed_twice = changed;
  const size_t second = 5 + sheet.find("<text:p>50</text:p>") + 8;
  changed_twice[second] = '4';
  std::string changed_sheet = sheet;
  changed_sheet[digit - 5] = '8';
  changed_sheet[second - 5] = '4';
  // Whole blocks for the first rows, then bytes that are no DEFLATE block at all.
  const size_t good = sheet.size() / 3;
  const std::string broken = FlushedDeflate(sheet.substr(0, good)) + std::string(200, '\xFF');
  // A stream that ends, followed by what the next entries would be.
  const std::string followed = stream + "PK\x03\x04 the next local header and data";
  const std::string picture = NoiseBytes(3000);
  const std::string picture_stream = RawDeflate(picture);
  const auto zp = static_cast<uint32_t>(picture_stream.size());
  // The end of an empty cell in the middle of the sheet.
  const size_t after_empty = sheet.find("/>", sheet.size() / 2) + 2;
  // A first byte that starts a block of the reserved type: a data error at once.
  const std::string broken_picture = "\xFF" + picture_stream;

  const SalvageCase cases[] = {
      {"intact content.xml: the same bytes", L"content.xml", stream, zs, u, kDeflated, true, crc,
       Source::kDescriptor, sheet, false},
      {"descriptor lost, file cut inside a row", L"content.xml", cut_stream, 0, 0, kDeflated, false,
       0, Source::kNone, ExpectedSalvage(sheet, cut_decoded.size()), true},
      {"sizes known, file cut inside the stream", L"content.xml", cut_stream, zs, u, kDeflated,
       true, crc, Source::kDescriptor, ExpectedSalvage(sheet, cut_decoded.size()), true},
      {"zeroed block decodes whole, CRC fails: cut before the zeros", L"content.xml", zeroed,
       static_cast<uint32_t>(zeroed.size()), u, kDeflated, true, crc, Source::kHeader,
       ExpectedSalvage(sheet, zero_at), true},
      {"CRC fails, well-formed, one byte changed: repaired", L"styles.xml", changed,
       static_cast<uint32_t>(changed.size()), u, kDeflated, true, crc, Source::kHeader, sheet,
       false},
      {"CRC fails but the document is well-formed: kept whole", L"styles.xml", changed_twice,
       static_cast<uint32_t>(changed_twice.size()), u, kDeflated, true, crc, Source::kHeader,
       changed_sheet, false},
      {"stream breaks with a data error", L"meta.xml", broken, static_cast<uint32_t>(broken.size()),
       u, kDeflated, true, crc, Source::kHeader, ExpectedSalvage(sheet, good), true},
      {"stored part cut by the end of the file", L"settings.xml", sheet.substr(0, 5000), u, u,
       kStored, true, crc, Source::kHeader, ExpectedSalvage(sheet, 5000), true},
      {"stored part cut right after an empty cell", L"settings.xml", sheet.substr(0, after_empty),
       u, u, kStored, true, crc, Source::kHeader, ExpectedSalvage(sheet, after_empty), true},
      {"zeros inside the declaration: nothing worth keeping", L"content.xml",
       std::string(stored_blocks).replace(5 + 20, 8, std::string(8, '\0')),
       static_cast<uint32_t>(stored_blocks.size()), u, kDeflated, true, crc, Source::kHeader,
       "<none>", false},
      {"descriptor lost, stream whole and followed by more: written whole", L"content.xml",
       followed, 0, 0, kDeflated, false, 0, Source::kNone, sheet, false},
      {"descriptor lost, a picture whose stream is whole", L"Pictures\\p.png", picture_stream, 0, 0,
       kDeflated, false, 0, Source::kNone, picture, false},
      {"descriptor lost, a picture whose stream is cut: no file", L"Pictures\\p.png",
       picture_stream.substr(0, zp / 2), 0, 0, kDeflated, false, 0, Source::kNone, "<none>", false},
      {"a picture with a data error: no file", L"Pictures\\p.png", broken_picture, zp + 1, 3000,
       kDeflated, true, Crc(picture), Source::kDescriptor, "<none>", false},
      {"a picture that inflates whole but fails its CRC: written", L"Pictures\\p.png",
       picture_stream, zp, 3000, kDeflated, true, Crc(picture) ^ 1, Source::kDescriptor, picture,
       false},
      {"an XML part not at the root is not salvaged", L"Object 1\\content.xml", cut_stream, 0, 0,
       kDeflated, false, 0, Source::kNone, "<none>", false},
  };
  std::vector<std::wstring> kept;
  for (const SalvageCase& c : cases) {
    SCOPED_TRACE(c.what);
    RecoveredEntry entry = Damaged(c.data, c.z, c.u, c.method);
    entry.name = c.name;
    entry.crc_known = c.crc_known;
    entry.crc32 = c.crc;
    entry.size_source = c.source;
    const std::wstring target = Out(L"part.xml");
    const EntryOutcome outcome = ExtractEntry(DamagedPath(), target, entry);
    EXPECT_EQ(Names(temp_), std::vector<std::wstring>{}) << "temporary files left behind";
    if (c.content == "<none>") {
      EXPECT_FALSE(outcome.written);
      EXPECT_EQ(Names(out_), std::vector<std::wstring>{});
      continue;
    }
    ASSERT_TRUE(outcome.written);
    EXPECT_EQ(Names(out_), std::vector<std::wstring>{L"part.xml"});
    const std::string written = ReadBytes(target);
    EXPECT_TRUE(written == c.content)
        << written.size() << " bytes, " << c.content.size() << " expected; ends with "
        << written.substr(written.size() - std::min<size_t>(written.size(), 200));
    EXPECT_EQ(outcome.bytes_written, written.size());
    EXPECT_EQ(outcome.salvaged, c.salvaged);
    EXPECT_EQ(outcome.crc_checked, c.crc_known);
    EXPECT_EQ(outcome.crc_matched, c.crc_known && Crc(written) == c.crc);
    if (c.salvaged) {
      // Every row that was whole before the damage is there.
      EXPECT_LT(outcome.salvaged_bytes, written.size());
      EXPECT_EQ(written.compare(0, outcome.salvaged_bytes, sheet, 0, outcome.salvaged_bytes), 0);
      const std::wstring copy = scratch_.Path(L"salvaged" + std::to_wstring(kept.size()) + L".xml");
      ASSERT_TRUE(platform::RenameReplacing(target, copy));
      kept.push_back(copy);
    }
    platform::RemoveFile(target);
  }
  if (!xml_check::HaveParser()) GTEST_SKIP() << xml_check::kNoParser;
  EXPECT_TRUE(xml_check::AreWellFormedFiles(kept));
}

TEST_F(ExtractTest, OutcomesComeOnePerListedEntry) {
  const std::string text = "<r>stored</r>";
  ASSERT_TRUE(WriteBytes(DamagedPath(), kLead + text));
  const uint64_t at = kLead.size();
  test::RecordingWindow view;
  RecoveredEntry good = Listed(L"good.xml", at, 13, 13, kStored);
  good.crc_known = true;
  good.crc32 = Crc(text);
  RecoveredEntry wrong = Listed(L"wrong.xml", at, 13, 13, kStored);
  wrong.crc_known = true;
  wrong.crc32 = Crc(text) + 1;
  view.entries = {Listed(L"..\\..", at, 13, 13, kStored), good, wrong,
                  Listed(L"short.bin", at, 500, 500, kStored)};
  const std::vector<EntryOutcome> outcomes =
      ExtractAllEntries(view, out_, DamagedPath(), view.entries);
  ASSERT_EQ(outcomes.size(), 4u);
  EXPECT_EQ(outcomes[0].output_path, L"");  // the name maps to no file
  EXPECT_FALSE(outcomes[0].written);
  EXPECT_EQ(outcomes[1].output_path, Out(L"good.xml"));
  EXPECT_TRUE(outcomes[1].written && outcomes[1].crc_checked && outcomes[1].crc_matched);
  EXPECT_EQ(outcomes[1].bytes_written, text.size());
  EXPECT_TRUE(outcomes[2].written && outcomes[2].crc_checked && !outcomes[2].crc_matched);
  EXPECT_EQ(outcomes[3].output_path, Out(L"short.bin"));
  EXPECT_FALSE(outcomes[3].written);
  EXPECT_EQ(ReadBytes(Out(L"good.xml")), text);
}

#ifndef _WIN32
TEST_F(ExtractTest, ALargePartIsSalvagedInBoundedMemory) {
  // 48 MB of rows, its descriptor lost and the file cut at 90 % of the stream: more than the
  // bound below, so holding the part in memory could not pass.
  const std::wstring damaged = DamagedPath();
  uint64_t plain = 0;
  {
    platform::File file = platform::File::Create(damaged);
    ASSERT_TRUE(file.Write(kLead.data(), kLead.size()));
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(1 << 16, '\0');
    std::string chunk;
    uint32_t row = 1;
    auto put = [&](const std::string& in, int flush) {
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
      z.avail_in = static_cast<uInt>(in.size());
      do {
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, flush);
        file.Write(out.data(), out.size() - z.avail_out);
      } while (z.avail_out == 0);
      plain += in.size();
    };
    put(kSheetHead, Z_NO_FLUSH);
    while (plain < 48u * 1000 * 1000) {
      chunk.clear();
      while (chunk.size() < (1 << 20)) chunk += SheetRow(row++);
      put(chunk, Z_NO_FLUSH);
    }
    put(kSheetTail, Z_FINISH);
    deflateEnd(&z);
    const int64_t size = file.Size();
    ASSERT_TRUE(
        file.Truncate(kLead.size() + (static_cast<uint64_t>(size) - kLead.size()) * 9 / 10));
  }
  RecoveredEntry entry = Listed(L"content.xml", kLead.size(), 0, 0, kDeflated);
  entry.size_source = RecoveredEntry::SizeSource::kNone;

  const test::PeakMemory peak;
  const EntryOutcome outcome = ExtractEntry(damaged, Out(L"content.xml"), entry);
  const long growth = peak.GrowthKiB();

  ASSERT_TRUE(outcome.written);
  EXPECT_TRUE(outcome.salvaged);
  EXPECT_GT(outcome.salvaged_bytes, plain * 8 / 10);
  platform::File result = platform::File::OpenRead(Out(L"content.xml"), platform::Sharing::kRead);
  ASSERT_EQ(result.Size(), static_cast<int64_t>(outcome.bytes_written));
  // It ends with the last whole row, then the sheet's closing tags.
  const std::string ending = "</table:table-row>" + kSheetTail;
  std::string tail(ending.size(), '\0');
  ASSERT_TRUE(result.Seek(outcome.bytes_written - ending.size()));
  ASSERT_EQ(result.Read(tail.data(), tail.size()), static_cast<int64_t>(tail.size()));
  EXPECT_EQ(tail, ending);
  if (!peak.available()) GTEST_SKIP() << "the peak memory cannot be measured here";
  EXPECT_LT(growth, 24 * 1024) << "peak memory grew by more than 24 MB";
}
#endif

}  // namespace
}  // namespace velmora
