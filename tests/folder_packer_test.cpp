// Packing folder trees: the byte layout of small packages, the walk order, and what becomes of
// sources that cannot be read and of packages that cannot be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "output/folder_packer.h"
#include "platform/platform.h"
#include "support/scratch.h"
#include "support/zip_test_support.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace velmora {
namespace {

using ziptest::ParseArchive;
using ziptest::ParsedArchive;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

std::string Le16(uint32_t v) {
  return Bytes({static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF)});
}

std::string Le32(uint32_t v) {
  return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// The entry names a depth-first walk in the system's listing order gives.
void ExpectedNames(const std::wstring& folder, const std::string& prefix,
                   std::vector<std::string>* names) {
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    const std::string name = prefix + ziptest::Narrow(item.name);
    if (item.is_directory) {
      ExpectedNames(test::Join(folder, item.name), name + "/", names);
    } else {
      names->push_back(name);
    }
    return true;
  });
}

class FolderPackerTest : public ::testing::Test {
 protected:
  ParsedArchive ReadBack() {
    ParsedArchive archive = ParseArchive(ziptest::ReadBytes(archive_));
    EXPECT_EQ(archive.error, "");
    EXPECT_EQ(ziptest::ExternalReaderComplaints(archive_), std::vector<std::string>());
    return archive;
  }
  std::vector<std::string> Names(const ParsedArchive& archive) {
    std::vector<std::string> names;
    for (const auto& e : archive.entries) names.push_back(e.name);
    return names;
  }

  ziptest::ScratchFolder scratch_;
  const std::wstring folder_ = scratch_.MakeFolder(L"Budget.ods0");
  const std::wstring archive_ = scratch_.Path(L"VONDRELREP_Budget.ods");
};

TEST_F(FolderPackerTest, OneStoredFileGivesTheExactLayout) {
  scratch_.Write(L"Budget.ods0/x.zip", "abc");
  FolderPacker packer;
  ASSERT_EQ(packer.PackFolder(folder_, archive_), kZipOk);
  const std::string b = ziptest::ReadBytes(archive_);
  ASSERT_EQ(b.size(), 137u);
  // Local header at 0: 30 + 5 + 17 bytes.
  EXPECT_EQ(b.substr(0, 10), "PK\x03\x04" + Le16(20) + Le16(0) + Le16(0));
  const std::string crc = Le32(0x352441C2);  // CRC-32 of "abc"
  EXPECT_EQ(b.substr(14, 16), crc + Le32(3) + Le32(3) + Le16(5) + Le16(17));
  EXPECT_EQ(b.substr(30, 5), "x.zip");
  EXPECT_EQ(b.substr(35, 5), "UT" + Le16(13) + Bytes({7}));
  EXPECT_EQ(b.substr(52, 3), "abc");
  // Central header at 55: 46 + 5 + 9 bytes.
  EXPECT_EQ(b.substr(55, 12), "PK\x01\x02" + Le16(0x0B17) + Le16(20) + Le16(0) + Le16(0));
  EXPECT_EQ(b.substr(55 + 12, 4), b.substr(10, 4));  // time and date as in the local header
  EXPECT_EQ(b.substr(55 + 16, 30), crc + Le32(3) + Le32(3) + Le16(5) + Le16(9) + Le16(0) + Le16(0) +
                                       Le16(0) + Le32(0x81800020) + Le32(0));
  EXPECT_EQ(b.substr(55 + 46, 5), "x.zip");
  EXPECT_EQ(b.substr(55 + 51, 9), "UT" + Le16(5) + Bytes({7}) + b.substr(40, 4));
  // End record at 115.
  EXPECT_EQ(b.substr(115),
            "PK\x05\x06" + Le16(0) + Le16(0) + Le16(1) + Le16(1) + Le32(60) + Le32(55) + Le16(0));
  ReadBack();
}

TEST_F(FolderPackerTest, EmptyOrMissingFolderGivesTheEndRecordAlone) {
  const std::wstring empty_with_subfolder = scratch_.MakeFolder(L"Empty.ods1/Pictures/deep");
  const std::wstring folders[] = {folder_, scratch_.Path(L"Empty.ods1"),
                                  scratch_.Path(L"Missing.ods2")};
  for (const std::wstring& folder : folders) {
    SCOPED_TRACE(ziptest::Narrow(folder));
    FolderPacker packer;
    ASSERT_EQ(packer.PackFolder(folder, archive_), kZipOk);
    EXPECT_EQ(ziptest::ReadBytes(archive_), "PK\x05\x06" + std::string(18, '\0'));
  }
  (void)empty_with_subfolder;
}

TEST_F(FolderPackerTest, SubfoldersAreWalkedAtTheirPlaceInTheListing) {
  scratch_.Write(L"Budget.ods0/mimetype", "application/vnd.oasis.opendocument.spreadsheet");
  scratch_.Write(L"Budget.ods0/content.xml", ziptest::TextBytes(70000));
  scratch_.Write(L"Budget.ods0/styles.xml", ziptest::TextBytes(5000));
  scratch_.Write(L"Budget.ods0/Thumbnails/thumbnail.png", ziptest::NoiseBytes(3000, 1));
  scratch_.Write(L"Budget.ods0/META-INF/manifest.xml", "<manifest/>");
  scratch_.Write(L"Budget.ods0/Pictures/a/b/c.png", ziptest::NoiseBytes(100, 2));
  scratch_.Write(L"Budget.ods0/Pictures/a/d.jpg", ziptest::NoiseBytes(100, 3));
  scratch_.Write(L"Budget.ods0/Configurations2/accelerator/current.xml", "");
  scratch_.MakeFolder(L"Budget.ods0/Configurations2/toolbar");  // empty: no trace
  FolderPacker packer;
  ASSERT_EQ(packer.PackFolder(folder_, archive_), kZipOk);
  const ParsedArchive archive = ReadBack();
  std::vector<std::string> expected;
  ExpectedNames(folder_, "", &expected);
  ASSERT_EQ(expected.size(), 8u);
  // The package type comes first; everything else keeps the walk's order.
  std::stable_partition(expected.begin(), expected.end(),
                        [](const std::string& name) { return name == "mimetype"; });
  EXPECT_EQ(Names(archive), expected);
  for (const auto& e : archive.entries) {
    EXPECT_EQ(e.data, ziptest::ReadBytes(scratch_.Path(L"Budget.ods0/" + ziptest::Widen(e.name))))
        << e.name;
  }
}

constexpr char kSheetType[] = "application/vnd.oasis.opendocument.spreadsheet";

// The entry in the bare stored form: stored, flags 0, no extra field in either header.
void ExpectBare(const ziptest::ParsedEntry& e) {
  EXPECT_EQ(e.method, 0);
  EXPECT_EQ(e.local_method, 0);
  EXPECT_EQ(e.flags, 0);
  EXPECT_EQ(e.local_flags, 0);
  EXPECT_EQ(e.compressed, e.uncompressed);
  EXPECT_EQ(e.local_extra, "");
  EXPECT_EQ(e.central_extra, "");
}

// The usual form: method by suffix, extended time stamps in both headers.
void ExpectUsual(const ziptest::ParsedEntry& e) {
  EXPECT_EQ(e.method, 8);
  EXPECT_EQ(e.flags, 2);
  EXPECT_EQ(e.local_extra.size(), 17u);
  EXPECT_EQ(e.central_extra.size(), 9u);
}

TEST_F(FolderPackerTest, RootTypeFileComesFirstStoredAndBare) {
  // Many names, so that the listing is unlikely to give "mimetype" first by chance.
  for (int i = 0; i < 20; ++i) {
    scratch_.Write(L"Budget.ods0/part" + std::to_wstring(i) + L".xml", ziptest::TextBytes(300));
  }
  scratch_.Write(L"Budget.ods0/META-INF/manifest.xml", "<manifest/>");
  scratch_.Write(L"Budget.ods0/mimetype", kSheetType);
  FolderPacker packer;
  ASSERT_EQ(packer.PackFolder(folder_, archive_), kZipOk);
  const ParsedArchive archive = ReadBack();
  ASSERT_EQ(archive.entries.size(), 22u);
  const ziptest::ParsedEntry& type = archive.entries[0];
  EXPECT_EQ(type.name, "mimetype");
  EXPECT_EQ(type.offset, 0u);
  EXPECT_EQ(type.data, kSheetType);
  ExpectBare(type);
  // Readers that go by the first bytes find the name and the type right after the header.
  const std::string b = ziptest::ReadBytes(archive_);
  EXPECT_EQ(b.substr(26, 4), Le16(8) + Le16(0));
  EXPECT_EQ(b.substr(30, 8 + sizeof kSheetType - 1), std::string("mimetype") + kSheetType);
  for (size_t i = 1; i < archive.entries.size(); ++i) {
    SCOPED_TRACE(archive.entries[i].name);
    ExpectUsual(archive.entries[i]);
  }
  const std::string type_seen = ziptest::FileTypeOf(archive_);
  if (type_seen.empty()) GTEST_SKIP() << "file (libmagic) is not installed";
  EXPECT_NE(type_seen.find("OpenDocument Spreadsheet"), std::string::npos) << type_seen;
}

// Only a file named exactly "mimetype" at the root is the package type; anything else of that
// name is packed like every other file, at its place in the walk.
TEST_F(FolderPackerTest, OtherTypeNamesAreUsualEntries) {
  const struct {
    const char* what;
    const wchar_t* file;     // written below the packed folder
    const char* entry_name;  // the entry it gives
  } cases[] = {
      {"in a subfolder", L"Sub/mimetype", "Sub/mimetype"},
      {"a root folder of that name", L"mimetype/content.xml", "mimetype/content.xml"},
#ifndef _WIN32
      {"another case", L"MimeType", "MimeType"},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ziptest::RemoveTree(folder_);
    scratch_.MakeFolder(L"Budget.ods0");
    scratch_.Write(L"Budget.ods0/content.xml", ziptest::TextBytes(300));
    scratch_.Write(std::wstring(L"Budget.ods0/") + c.file, kSheetType);
    FolderPacker packer;
    ASSERT_EQ(packer.PackFolder(folder_, archive_), kZipOk);
    const ParsedArchive archive = ReadBack();
    std::vector<std::string> expected;
    ExpectedNames(folder_, "", &expected);
    EXPECT_EQ(Names(archive), expected);
    for (const auto& e : archive.entries) {
      SCOPED_TRACE(e.name);
      ExpectUsual(e);
    }
    EXPECT_NE(std::find(expected.begin(), expected.end(), c.entry_name), expected.end());
  }
}

TEST_F(FolderPackerTest, ExistingPackageIsReplaced) {
  ASSERT_TRUE(ziptest::WriteBytes(archive_, ziptest::NoiseBytes(100000, 9)));
  scratch_.Write(L"Budget.ods0/content.xml", "<x/>");
  FolderPacker packer;
  ASSERT_EQ(packer.PackFolder(folder_, archive_), kZipOk);
  EXPECT_EQ(Names(ReadBack()), std::vector<std::string>{"content.xml"});
}

TEST_F(FolderPackerTest, UnreadableSourceIsLeftOutAndThePackageCounts) {
  scratch_.Write(L"Budget.ods0/content.xml", ziptest::TextBytes(20000));
  scratch_.Write(L"Budget.ods0/styles.xml", ziptest::TextBytes(2000));
#ifdef _WIN32
  // Another program holds the file without sharing it.
  const std::wstring held_path = scratch_.Write(L"Budget.ods0/held.xml", "locked");
  platform::File held = platform::File::Create(held_path);
  ASSERT_TRUE(held.IsOpen());
#else
  // A link to nothing cannot be opened, by root either.
  ASSERT_EQ(symlink("/nonexistent/target",
                    platform::NarrowPath(scratch_.Path(L"Budget.ods0/held.xml")).c_str()),
            0);
#endif
  FolderPacker packer;
  ASSERT_EQ(packer.PackFolder(folder_, archive_), kZipOk);
  std::vector<std::string> names = Names(ReadBack());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"content.xml", "styles.xml"}));
}

TEST_F(FolderPackerTest, PackageInsideTheFolderIsNotPackedIntoItself) {
  scratch_.Write(L"Budget.ods0/content.xml", "<x/>");
  const std::wstring inside = scratch_.Path(L"Budget.ods0/VONDRELREP_Budget.zip");
  FolderPacker packer;
  ASSERT_EQ(packer.PackFolder(folder_, inside), kZipOk);
  const ParsedArchive archive = ParseArchive(ziptest::ReadBytes(inside));
  EXPECT_EQ(archive.error, "");
  EXPECT_EQ(Names(archive), std::vector<std::string>{"content.xml"});
}

TEST_F(FolderPackerTest, PackageThatCannotBeCreatedIsReported) {
  scratch_.Write(L"Budget.ods0/content.xml", "<x/>");
  const std::wstring nowhere = scratch_.Path(L"Gone/VONDRELREP_Budget.ods");
  FolderPacker packer;
  EXPECT_EQ(packer.PackFolder(folder_, nowhere), kZipOpenFailed);
  EXPECT_FALSE(platform::PathExists(nowhere));
  EXPECT_FALSE(platform::PathExists(scratch_.Path(L"Gone")));
}

TEST_F(FolderPackerTest, PackageThatCannotBeCompletedIsDeleted) {
  scratch_.Write(L"Budget.ods0/a.gz", ziptest::NoiseBytes(5000, 4));
  scratch_.Write(L"Budget.ods0/b.xml", ziptest::TextBytes(5000));
  const struct {
    const char* what;
    ZipLimits limits;
  } cases[] = {
      {"too many entries", {0xFFFFFFFF, 0xFFFFFFFF, 1}},
      {"too many bytes", {4000, 0xFFFFFFFF, 0xFFFF}},
      {"entry too large", {0xFFFFFFFF, 4999, 0xFFFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(ziptest::WriteBytes(archive_, "an older package"));
    FolderPacker packer(c.limits);
    EXPECT_EQ(packer.PackFolder(folder_, archive_), kZipWriteFailed);
    EXPECT_FALSE(platform::PathExists(archive_));
  }
}

#ifndef _WIN32
// A real failing write: the process may not grow a file past 8 KiB while the package is written.
TEST_F(FolderPackerTest, FailedWriteDeletesThePackage) {
  scratch_.Write(L"Budget.ods0/big.gz", ziptest::NoiseBytes(64 * 1024, 5));
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
  struct rlimit small = saved;
  small.rlim_cur = 8 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  FolderPacker packer;
  const uint32_t result = packer.PackFolder(folder_, archive_);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_EQ(result, kZipWriteFailed);
  EXPECT_FALSE(platform::PathExists(archive_));
}
#endif

}  // namespace
}  // namespace velmora
