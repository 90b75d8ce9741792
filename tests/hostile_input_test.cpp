// Hostile input: damaged files made to hurt the scanner and the extractor, run through the
// whole repair job. Whatever a file holds, the job must complete, write nothing outside the
// file's folder, leave no temporary or partial file, and leave a working folder that can be
// discarded. The inputs are the fuzzers' seeds (fuzz/corpus/scan_extract: sizes claimed far
// beyond the file, thousands of entries, overlapping entries, signatures back to back,
// climbing and device names) and every input a fuzzer ever crashed on
// (tests/fixtures/hostile). Entries named like Windows devices, and paths longer than Windows
// allows, must neither open a device nor stop the job.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/extract/byte_repair.h"
#include "engine/extract/entry_path.h"
#include "engine/extract/xml_salvage.h"
#include "engine/job/repair_job.h"
#include "engine/job/working_folder.h"
#include "engine/package/media_types.h"
#include "engine/scan/archive_scanner.h"
#include "engine/scan/size_probe.h"
#include "extraction_fixtures.h"
#include "platform/ascii_case.h"
#include "platform/platform.h"
#include "support/job_runner.h"
#include "support/recording_window.h"
#include "support/scratch.h"

namespace velmora {
namespace {

using extraction_test::Join;
using extraction_test::Names;
using extraction_test::RawDeflate;
using extraction_test::ReadBytes;
using extraction_test::ScratchFolder;
using extraction_test::TempFolderRedirect;
using extraction_test::WriteBytes;

struct HostileFile {
  std::string label;  // the test's name
  std::wstring path;
};

// The label, so that a test's listing and report read the same on every run (by default the
// parameter would print as its bytes, the string pointers among them).
void PrintTo(const HostileFile& file, std::ostream* out) {
  *out << file.label;
}

// Every file of the two folders, in name order; notes (*.md) are not inputs.
std::vector<HostileFile> HostileFiles() {
  std::vector<HostileFile> files;
  for (const char* folder : {"fuzz/corpus/scan_extract", "tests/fixtures/hostile"}) {
    const std::wstring dir = test::SourcePath(folder);
    for (const std::wstring& name : Names(dir)) {
      if (name.size() > 3 && name.compare(name.size() - 3, 3, L".md") == 0) continue;
      std::string label = std::string(folder).substr(std::string(folder).rfind('/') + 1) + "_";
      for (wchar_t c : name) label += std::isalnum(static_cast<int>(c & 0x7F)) ? char(c) : '_';
      files.push_back({label, Join(dir, name)});
    }
  }
  return files;
}

// Entry paths as the file system compares them: Windows ignores case.
std::wstring FoldCase(std::wstring path) {
#ifdef _WIN32
  return platform::AsciiLowered(std::move(path));
#else
  return path;
#endif
}

// Every file below `folder`, by relative path with "\" between components, with its size.
void FilesBelow(const std::wstring& folder, const std::wstring& relative,
                std::map<std::wstring, uint64_t>* files) {
  std::vector<platform::DirItem> items;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    items.push_back(item);
    return true;
  });
  for (const platform::DirItem& item : items) {
    const std::wstring path = Join(folder, item.name);
    const std::wstring name = relative.empty() ? item.name : relative + L"\\" + item.name;
    if (item.is_directory) {
      FilesBelow(path, name, files);
    } else {
      platform::File file = platform::File::OpenRead(path, platform::Sharing::kRead);
      (*files)[name] = file.IsOpen() ? static_cast<uint64_t>(file.Size()) : ~uint64_t{0};
    }
  }
}

// The repair job on one damaged file, in a scratch folder of its own with the working folder
// and the temporary-files folder inside it.
class HostileJob {
 public:
  HostileJob() : temp_(scratch_.Path(L"temp")), redirect_(temp_) {
    platform::MakeDirectory(temp_);
    SetWorkingFolderOverride(Work());
    // The seeds whose entries fail their CRC-32 spend a whole correction budget: a smaller one
    // bounds them the same way, in the time a sanitized or emulated build has for a test.
    SetRepairWorkPerFile(kDefaultRepairWork / 32);
  }
  ~HostileJob() {
    SetWorkingFolderOverride(L"");
    SetRepairWorkPerFile(kDefaultRepairWork);
  }
  HostileJob(const HostileJob&) = delete;
  HostileJob& operator=(const HostileJob&) = delete;

  void Run(const std::string& damaged_bytes) {
    ASSERT_TRUE(WriteBytes(Damaged(), damaged_bytes));
    window_.AddFile(Damaged());
    test::RunRepairJob(context_);
  }

  std::wstring Damaged() const { return scratch_.Path(L"damaged.ods"); }
  std::wstring Work() const { return scratch_.Path(L"ClcTemp"); }
  std::wstring FileFolder() const { return Join(Work(), L"damaged.ods0"); }

  // The job's promises, whatever the input.
  void ExpectContained() {
    const std::vector<std::wstring> log = window_.LogTexts();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::wstring& line) {
                             return line.compare(0, 29, L"Repairing process completed: ") == 0;
                           }),
              log.end());
    EXPECT_EQ(running_.load(), 0);
    // Nothing beside the input, the working folder and the temporary-files folder; nothing in
    // the working folder but the file folder; no temporary file left.
    EXPECT_EQ(Names(scratch_.path()),
              (std::vector<std::wstring>{L"ClcTemp", L"damaged.ods", L"temp"}));
    EXPECT_EQ(Names(Work()), std::vector<std::wstring>{L"damaged.ods0"});
    EXPECT_EQ(Names(temp_), std::vector<std::wstring>{});
    // Every file is where an entry's name puts it, no larger than an entry of that name
    // claims (an entry whose sizes were found nowhere may fill up to what its stream gives, a
    // salvaged XML part gets end tags on top): no stray, partial-file or misplaced file.
    std::map<std::wstring, uint64_t> largest;
    for (const RecoveredEntry& entry : window_.entries) {
      const std::wstring safe = SafeEntryPath(entry.name, kWindowsNameRules);
      if (safe.empty()) continue;
      uint64_t bound = entry.size_source == RecoveredEntry::SizeSource::kNone
                           ? ~uint64_t{0} / 4
                           : entry.uncompressed_size;
      if (IsSalvageableXmlPart(entry.name)) bound = bound * 7 / 3 + 1;
      largest[FoldCase(safe)] = std::max(largest[FoldCase(safe)], bound);
    }
    std::map<std::wstring, uint64_t> files;
    FilesBelow(FileFolder(), L"", &files);
    // Package completion may write "mimetype", "META-INF/manifest.xml" and empty stand-ins for
    // lost pictures, nothing else, and each part it says it wrote is there.
    std::set<std::wstring> completed;
    for (std::wstring part : completion_.written) {
      std::replace(part.begin(), part.end(), L'/', L'\\');
      const auto file = files.find(part);
      if (file == files.end()) {
        ADD_FAILURE() << "completion names a part that is not there: "
                      << ::testing::PrintToString(part);
        continue;
      }
      const std::string narrow(part.begin(), part.end());
      const bool picture = MediaTypeForPart(narrow).compare(0, 6, "image/") == 0;
      EXPECT_TRUE(part == L"mimetype" || part == L"META-INF\\manifest.xml" ||
                  (picture && file->second == 0))
          << "completion wrote what it may not: " << ::testing::PrintToString(part);
      completed.insert(part);
    }
    for (const auto& [name, size] : files) {
      if (completed.count(name) != 0) {
        // Completion may rewrite these two whatever an entry of their name held.
        if (name == L"mimetype" || name == L"META-INF\\manifest.xml") continue;
        if (largest.count(FoldCase(name)) == 0) continue;  // a stand-in no entry names
      }
      const auto found = largest.find(FoldCase(name));
      if (found == largest.end()) {
        ADD_FAILURE() << "a file no entry names: " << ::testing::PrintToString(name);
      } else {
        EXPECT_LE(size, found->second) << ::testing::PrintToString(name);
      }
    }
    // The tree the entries made can be discarded whole.
    DiscardWorkingFolder(window_);
    EXPECT_FALSE(platform::PathExists(Work()));
  }

  test::RecordingWindow& window() { return window_; }

 private:
  ScratchFolder scratch_;
  std::wstring temp_;
  TempFolderRedirect redirect_;
  // What package completion said it wrote.
  class Completion : public RecoveryObserver {
   public:
    std::vector<std::wstring> written;
    void OnFileRecovered(const FileRecovery& recovery) override { written = recovery.synthesised; }
  };

  test::RecordingWindow window_;
  JobRunning running_{0};
  Completion completion_;
  JobContext context_{&running_, &window_, &completion_};
};

class HostileInputTest : public ::testing::TestWithParam<HostileFile> {};

TEST_P(HostileInputTest, JobCompletesAndWritesOnlyIntoTheFileFolder) {
  const std::string bytes = ReadBytes(GetParam().path);
  ASSERT_NE(bytes, "<missing>") << ::testing::PrintToString(GetParam().path);
  HostileJob job;
  job.Run(bytes);
  job.ExpectContained();
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileInputTest, ::testing::ValuesIn(HostileFiles()),
                         [](const ::testing::TestParamInfo<HostileFile>& info) {
                           return info.param.label;
                         });

// Entry names that Windows resolves to devices, or that make paths longer than it allows,
// placed before an ordinary entry that must still come out.
struct NameCase {
  std::string name;      // as stored in the package
  std::wstring posix;    // where the file lands with the POSIX rules ("" = nowhere)
  std::wstring windows;  // and with the Windows rules
  bool may_fail;         // too long for some systems: either absent or whole
};

const std::string kLong100a(100, 'a');
const std::string kLong100b(100, 'b');
const std::string kLong95c(95, 'c');
const std::string kLongName = std::string(296, 'w') + ".xml";

const std::vector<NameCase>& NameCases() {
  static const std::vector<NameCase> cases = {
      {"CON", L"CON", L"_CON", false},
      {"nul.txt", L"nul.txt", L"_nul.txt", false},
      {"COM1.xml", L"COM1.xml", L"_COM1.xml", false},
      {"aux .xml", L"aux .xml", L"_aux .xml", false},
      {"a.", L"a.", L"a", false},
      {"LPT9", L"LPT9", L"_LPT9", false},
      {"conout$", L"conout$", L"_conout$", false},
      {"Pictures/prn.png", L"Pictures\\prn.png", L"Pictures\\_prn.png", false},
      {"aux/inner.xml", L"aux\\inner.xml", L"_aux\\inner.xml", false},
      // 300 characters in three folders, then one component of 300.
      {kLong100a + "/" + kLong100b + "/" + kLong95c + ".xml",
       test::W(kLong100a + "\\" + kLong100b + "\\" + kLong95c + ".xml"),
       test::W(kLong100a + "\\" + kLong100b + "\\" + kLong95c + ".xml"), true},
      {kLongName, test::W(kLongName), test::W(kLongName), true},
      {"content.xml", L"content.xml", L"content.xml", false},
  };
  return cases;
}

std::string DataOf(const std::string& name) {
  return "bytes of " + name.substr(0, 20);
}

TEST(HostileNamesTest, DeviceNamesAndLongPathsNeitherOpenADeviceNorStopTheJob) {
  // Each name twice: stored and deflated take different roads to their file.
  std::vector<test::ZipPart> parts;
  for (const NameCase& c : NameCases()) {
    parts.push_back({"stored/" + c.name, DataOf(c.name), false});
    parts.push_back({"deflated/" + c.name, DataOf(c.name), true});
  }
  const test::Bytes zip = test::MakeZip(parts);
  HostileJob job;
  job.Run(std::string(zip.begin(), zip.end()));

  for (const char* road : {"stored", "deflated"}) {
    for (const NameCase& c : NameCases()) {
      SCOPED_TRACE(std::string(road) + "/" + c.name.substr(0, 40));
      const std::wstring relative = kWindowsNameRules ? c.windows : c.posix;
      std::wstring path = Join(job.FileFolder(), test::W(road)) + platform::kSeparator;
      for (wchar_t ch : relative) path += ch == L'\\' ? platform::kSeparator : ch;
      // A device would have swallowed the bytes; the file holds them.
      const std::string bytes = ReadBytes(path);
      if (c.may_fail && bytes == "<missing>") continue;
      EXPECT_EQ(bytes, DataOf(c.name));
    }
  }
  job.ExpectContained();
}

// Local headers whose sizes do not fit the file, each followed by a stored deflate block that
// holds the next header: every header's stream runs on to the end of the file and never ends.
std::string HeaderChain(size_t size) {
  std::string header("PK\3\4\x14\0\0\0\x08\0\0\0\0\0\0\0\0\0\1\0\0\0\1\0\0\0\1\0\0\0x", 31);
  // A stored block that is not the last: type 00, then its length and the length's complement.
  const std::string block("\0\x1F\0\xE0\xFF", 5);
  std::string chain;
  while (chain.size() < size) chain += header + block;
  return chain;
}

// A file stands where entries need a folder. Each blocked entry brings one message, however
// many folders its name holds below the blocked one: they could not be made either.
TEST(HostileNamesTest, ABlockedFolderBringsOneMessagePerEntry) {
  std::string deep = "x/";
  for (int i = 0; i < 400; ++i) deep += "a/";
  const test::Bytes zip = test::MakeZip({{"x", "a file where a folder is wanted", false},
                                         {deep + "z.xml", "deep", false},
                                         {"x/b/c.xml", "shallow", true},
                                         {"content.xml", "after them", true}});
  HostileJob job;
  job.Run(std::string(zip.begin(), zip.end()));
  EXPECT_EQ(job.window().boxes.size(), 2u);
  EXPECT_EQ(ReadBytes(Join(job.FileFolder(), L"x")), "a file where a folder is wanted");
  EXPECT_EQ(ReadBytes(Join(job.FileFolder(), L"content.xml")), "after them");
  job.ExpectContained();
}

// Deflated local headers without sizes or descriptors, each followed by a stored block that is
// not the last and holds the next header; after the last header, a last empty block. Read on
// to the end of the file, every header's stream would be whole and hold all the headers after
// it: one copy and one inflation of the rest of the file per header.
std::string UnsizedChain(int count) {
  std::vector<std::string> headers;
  for (int i = 0; i < count; ++i) {
    char name[16];
    snprintf(name, sizeof name, "e%04d.bin", i);
    std::string header("PK\3\4\x14\0\0\0\x08\0", 10);
    header += std::string(16, '\0');  // time, date, CRC-32, both sizes
    const size_t length = strlen(name);
    header += std::string(1, char(length)) + std::string(3, '\0') + name;  // no extra field
    headers.push_back(header);
  }
  std::string chain;
  for (int i = 0; i < count; ++i) {
    chain += headers[i];
    if (i + 1 < count) {
      const size_t n = headers[i + 1].size();
      chain += std::string(1, '\0') + char(n) + char(n >> 8) + char(~n) + char(~n >> 8);
    } else {
      chain += std::string("\x01\0\0\xFF\xFF", 5);
    }
  }
  return chain;
}

TEST(HostileScanTest, DataWithoutSizesEndsAtTheNextHeader) {
  constexpr int kCount = 300;
  HostileJob job;
  job.Run(UnsizedChain(kCount));
  ASSERT_EQ(job.window().entries.size(), size_t{kCount});
  for (const RecoveredEntry& entry : job.window().entries) {
    EXPECT_EQ(entry.size_source, RecoveredEntry::SizeSource::kNone);
  }
  // Cut at the next header, no stream but the last one ends: one empty file, not 299 files
  // holding the headers that follow theirs.
  EXPECT_EQ(Names(job.FileFolder()), std::vector<std::wstring>{L"e0299.bin"});
  EXPECT_EQ(ReadBytes(Join(job.FileFolder(), L"e0299.bin")), "");
  job.ExpectContained();
}

uint64_t ScanCount(const std::wstring& path, uint64_t length) {
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kNone);
  EXPECT_TRUE(file.IsOpen());
  JobRunning running{1};
  uint64_t found = 0;
  ScanFile(file, length, running, [&](const RecoveredEntry& entry) {
    // The stream never ends, so the header's sizes stand.
    EXPECT_EQ(entry.compressed_size, 1u);
    ++found;
  });
  return found;
}

// Each header's size probe would read on to the end of the file: one pass per header, time
// growing with the square of the file. The probes of one scan share a budget of input instead,
// so this 8 MB file scans in about the time of one pass (a return to the old way shows as a
// test that runs for many minutes).
TEST(HostileScanTest, HeadersWhoseStreamsRunToTheEndScanInLinearTime) {
  ScratchFolder scratch;
  const std::string chain = HeaderChain(size_t{8} << 20);
  const std::wstring path = scratch.Path(L"chain.bin");
  ASSERT_TRUE(WriteBytes(path, chain));
  EXPECT_EQ(ScanCount(path, chain.size()), chain.size() / 36);
}

TEST(HostileScanTest, ProbeBudgetIsSharedAndSpent) {
  // A stream of 64 KiB of text, whole, then cut by the budget.
  std::string text;
  for (int i = 0; text.size() < 65536; ++i) text += "<c n=\"" + std::to_string(i) + "\"/>";
  const std::string stream = RawDeflate(text);

  ScratchFolder scratch;
  const std::wstring path = scratch.Path(L"stream.bin");
  ASSERT_TRUE(WriteBytes(path, stream + "trailing bytes"));
  struct Case {
    uint64_t budget;
    ProbeResult result;
    uint64_t left;
  };
  const uint64_t n = stream.size();
  for (const Case& c :
       {Case{n + 100, ProbeResult::kFound, 100}, Case{n, ProbeResult::kFound, 0},
        Case{n - 1, ProbeResult::kNotFound, 0}, Case{0, ProbeResult::kNotFound, 0}}) {
    SCOPED_TRACE(c.budget);
    platform::File file = platform::File::OpenRead(path, platform::Sharing::kNone);
    ASSERT_TRUE(file.IsOpen());
    ScanBuffer buffer(file, n + 14, 4096);
    JobRunning running{1};
    uint64_t budget = c.budget;
    const StreamEnd end = ProbeDeflateStream(buffer, running, 0, &budget);
    EXPECT_EQ(end.result, c.result);
    EXPECT_EQ(budget, c.left);
    if (c.result == ProbeResult::kFound) {
      EXPECT_EQ(end.compressed, n);
      EXPECT_EQ(end.uncompressed, text.size());
    }
  }
}

}  // namespace
}  // namespace velmora
