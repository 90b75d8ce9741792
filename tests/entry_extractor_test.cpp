// ExtractEntry and ExtractAllEntries against real files: which entries yield files and their
// bytes, no temporary or partial files left behind, memory bounded whatever a header claims,
// and the file bar's sequence.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/entry_extractor.h"
#include "extraction_fixtures.h"
#include "support/recording_window.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

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
  std::wstring Out(const std::wstring& name) const { return Join(out_, name); }

  ScratchFolder scratch_;
  std::wstring temp_;
  TempFolderRedirect redirect_;
  std::wstring out_ = scratch_.Path(L"out");

 private:
  std::wstring TempPath() const { return scratch_.Path(L"temp"); }
};

struct ExtractCase {
  const char* what;
  std::string data;  // the entry's bytes in the damaged file (the file ends after them)
  uint32_t z;
  uint32_t u;
  uint16_t method;
  bool yields_file;
  std::string content;
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
      {"Z = 5, U = 0: empty file", stream.substr(0, 5), 5, 0, kDeflated, true, ""},
      {"Z = 0, U = 10: no file", "", 0, 10, kDeflated, false, ""},
      {"Z = 0, U = 0: nothing", "", 0, 0, kStored, false, ""},
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
  for (const ExtractCase& c : cases) {
    SCOPED_TRACE(c.what);
    const RecoveredEntry entry = Damaged(c.data, c.z, c.u, c.method);
    ExtractEntry(DamagedPath(), Out(L"out.xml"), entry);
    if (c.yields_file) {
      EXPECT_EQ(Names(out_), std::vector<std::wstring>{L"out.xml"});
      EXPECT_TRUE(ReadBytes(Out(L"out.xml")) == c.content);
    } else {
      // No file, and no partial output either.
      EXPECT_EQ(Names(out_), std::vector<std::wstring>{});
    }
    EXPECT_EQ(Names(temp_), std::vector<std::wstring>{}) << "temporary files left behind";
    platform::RemoveFile(Out(L"out.xml"));
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

#ifndef _WIN32
long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}
#endif

TEST_F(ExtractTest, ClaimedSizesDoNotDecideMemory) {
#ifndef _WIN32
  const long before = PeakRssKiB();
#endif
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
#ifndef _WIN32
  EXPECT_LT(PeakRssKiB() - before, 64 * 1024) << "peak memory grew by more than 64 MB";
#endif
}

TEST_F(ExtractTest, UnreadableDamagedFileYieldsNoFile) {
  RecoveredEntry entry = Damaged("abc", 3, 3, kStored);
  ExtractEntry(scratch_.Path(L"gone.ods"), Out(L"out.xml"), entry);
  ExtractEntry(DamagedPath(), Out(L"missing-folder") + platform::kSeparator + L"x.xml", entry);
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
  ExtractAllEntries(view, folder, DamagedPath());

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
  ExtractAllEntries(view, out_, DamagedPath());
  std::vector<std::wstring> bar;
  for (const std::wstring& call : view.calls)
    if (call.find(L" File") != std::wstring::npos) bar.push_back(call);
  EXPECT_EQ(
      bar, (std::vector<std::wstring>{L"ResetEstimate File", L"SetBarRange File 3",
                                      L"SetBarPos File 0", L"SetBarPos File 0", L"SetBarPos File 1",
                                      L"SetBarPos File 2", L"SetBarPos File 3"}));

  test::RecordingWindow empty;
  ExtractAllEntries(empty, out_, DamagedPath());
  EXPECT_EQ(empty.calls, (std::vector<std::wstring>{L"ResetEstimate File", L"SetBarRange File 0",
                                                    L"SetBarPos File 0", L"SetBarPos File 0"}));
}

}  // namespace
}  // namespace velmora
