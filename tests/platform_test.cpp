// The OS layer against the real file system: every test works in a scratch folder of its own
// under the temporary-files folder, removed again at the end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/scratch.h"
#include "support/time_zone.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmora::platform {
namespace {

using test::Join;
using test::RemoveTree;

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
  File file = File::Create(path);
  return file.IsOpen() && file.Write(bytes.data(), bytes.size());
}

std::string ReadWhole(const std::wstring& path) {
  File file = File::OpenRead(path, Sharing::kRead);
  if (!file.IsOpen()) return "<not open>";
  std::string bytes(1 << 16, '\0');
  int64_t got = file.Read(bytes.data(), bytes.size());
  if (got < 0) return "<read error>";
  bytes.resize(static_cast<size_t>(got));
  return bytes;
}

class PlatformTest : public ::testing::Test {
 protected:
  void TearDown() override {
    RemoveTree(scratch_);
    EXPECT_FALSE(PathExists(scratch_));
  }
  std::wstring Path(const std::wstring& name) const { return Join(scratch_, name); }

  test::ScratchFolder scratch_folder_;
  const std::wstring scratch_ = scratch_folder_.path();
};

TEST_F(PlatformTest, FileWriteSeekReadRoundTrip) {
  std::string data(100000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  const std::wstring path = Path(L"data.bin");
  {
    File file = File::Create(path);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Write(data.data(), data.size()));
    EXPECT_EQ(file.Position(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(file.Size(), static_cast<int64_t>(data.size()));
    // Create opens for reading too.
    ASSERT_TRUE(file.Seek(1000));
    char back[16];
    ASSERT_EQ(file.Read(back, sizeof back), 16);
    EXPECT_EQ(std::string(back, 16), data.substr(1000, 16));
  }
  File file = File::OpenRead(path, Sharing::kNone);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Size(), static_cast<int64_t>(data.size()));
  std::string all(data.size() + 100, '\0');
  // Asking for more than there is gives what there is, then 0 at the end.
  ASSERT_EQ(file.Read(all.data(), all.size()), static_cast<int64_t>(data.size()));
  all.resize(data.size());
  EXPECT_EQ(all, data);
  char tail[10];
  EXPECT_EQ(file.Read(tail, sizeof tail), 0);
  ASSERT_TRUE(file.Seek(data.size() - 3));
  EXPECT_EQ(file.Read(tail, sizeof tail), 3);
  EXPECT_EQ(std::string(tail, 3), data.substr(data.size() - 3));

  FileInfo info;
  ASSERT_TRUE(file.GetInfo(&info));
  EXPECT_EQ(info.size, data.size());
  EXPECT_EQ(info.attributes & kAttrDirectory, 0u);
  EXPECT_EQ(info.attributes & kAttrReadOnly, 0u);
  // Times are seconds since 1970 in UTC: a file written just now is within a day of time().
  const int64_t now = static_cast<int64_t>(time(nullptr));
  EXPECT_LT(std::llabs(info.write_time - now), 86400);
  EXPECT_LT(std::llabs(info.access_time - now), 86400);
  EXPECT_LT(std::llabs(info.creation_time - now), 86400);
}

TEST_F(PlatformTest, PositionsBeyondFourGigabytes) {
  File file = File::Create(Path(L"far.bin"));
  ASSERT_TRUE(file.IsOpen());
  const uint64_t far = (uint64_t{5} << 30) + 123;
  ASSERT_TRUE(file.Seek(far));
  EXPECT_EQ(file.Position(), static_cast<int64_t>(far));
  char byte;
  EXPECT_EQ(file.Read(&byte, 1), 0);
}

TEST_F(PlatformTest, CreateTruncatesAnExistingFile) {
  const std::wstring path = Path(L"t.txt");
  ASSERT_TRUE(WriteWhole(path, "a longer first content"));
  File file = File::Create(path);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Size(), 0);
  ASSERT_TRUE(file.Write("new", 3));
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadWhole(path), "new");
}

TEST_F(PlatformTest, OpenReadOfAMissingFileFailsWithASystemText) {
  File file = File::OpenRead(Path(L"missing.txt"), Sharing::kRead);
  ASSERT_FALSE(file.IsOpen());
  const ErrorCode code = LastError();
  EXPECT_NE(code, 0u);
#ifdef _WIN32
  EXPECT_EQ(code, 2u);  // ERROR_FILE_NOT_FOUND
#endif
  const std::wstring text = SystemErrorText(code);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), L'\n');
  EXPECT_NE(text.back(), L'\r');
  char byte;
  EXPECT_EQ(file.Read(&byte, 1), -1);
  EXPECT_FALSE(file.Write("x", 1));
}

TEST_F(PlatformTest, MovedFileKeepsTheOneHandle) {
  const std::wstring path = Path(L"m.txt");
  ASSERT_TRUE(WriteWhole(path, "moved"));
  File first = File::OpenRead(path, Sharing::kRead);
  File second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  ASSERT_TRUE(second.IsOpen());
  File third;
  third = std::move(second);
  EXPECT_FALSE(second.IsOpen());
  char text[5];
  EXPECT_EQ(third.Read(text, 5), 5);
  EXPECT_EQ(std::string(text, 5), "moved");
}

#ifdef _WIN32
TEST_F(PlatformTest, SharingModesAreEnforced) {
  const std::wstring path = Path(L"shared.txt");
  ASSERT_TRUE(WriteWhole(path, "x"));
  {
    File reader = File::OpenRead(path, Sharing::kRead);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_TRUE(File::OpenRead(path, Sharing::kRead).IsOpen());
    File exclusive = File::OpenRead(path, Sharing::kNone);
    EXPECT_FALSE(exclusive.IsOpen());
    EXPECT_EQ(LastError(), 32u);  // ERROR_SHARING_VIOLATION
  }
  File writer = File::Create(path);
  ASSERT_TRUE(writer.IsOpen());
  EXPECT_FALSE(File::OpenRead(path, Sharing::kRead).IsOpen());
  EXPECT_EQ(LastError(), 32u);
}
#endif

TEST_F(PlatformTest, TempFilesAreNewEmptyAndUnique) {
  std::vector<std::wstring> paths;
  for (int i = 0; i < 20; ++i) {
    std::wstring path = CreateTempFile(scratch_, L"OPC");
    ASSERT_FALSE(path.empty());
    paths.push_back(path);
  }
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::wstring& path = paths[i];
    const std::wstring name = path.substr(path.rfind(kSeparator) + 1);
    EXPECT_EQ(path.substr(0, scratch_.size() + 1), scratch_ + kSeparator);
    ASSERT_GE(name.size(), 8u) << i;
    EXPECT_EQ(name.substr(0, 3), L"OPC");
    EXPECT_EQ(name.substr(name.size() - 4), L".tmp");
    const std::wstring digits = name.substr(3, name.size() - 7);
    EXPECT_GE(digits.size(), 1u);
    EXPECT_LE(digits.size(), 4u);
    EXPECT_EQ(digits.find_first_not_of(L"0123456789ABCDEFabcdef"), std::wstring::npos);
    EXPECT_EQ(ReadWhole(path), "");
    for (size_t j = 0; j < i; ++j) EXPECT_NE(paths[j], path);
  }
  EXPECT_TRUE(CreateTempFile(Path(L"no such folder"), L"OPC").empty());
}

TEST_F(PlatformTest, TempFolderEndsWithASeparator) {
  const std::wstring folder = TempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), kSeparator);
  EXPECT_TRUE(IsDirectory(folder));
}

TEST_F(PlatformTest, MakeDirectoryResults) {
  ASSERT_TRUE(WriteWhole(Path(L"plain"), ""));
  struct Case {
    std::wstring path;
    MakeDirResult expected;
  };
  const Case cases[] = {
      {Path(L"new"), MakeDirResult::kCreated},
      {Path(L"new"), MakeDirResult::kAlreadyExists},
      {Join(Path(L"absent"), L"child"), MakeDirResult::kFailed},
  };
  for (const Case& c : cases) {
    ErrorCode error = 0;
    EXPECT_EQ(MakeDirectory(c.path, &error), c.expected);
    if (c.expected == MakeDirResult::kFailed) {
      EXPECT_NE(error, 0u);
      EXPECT_FALSE(SystemErrorText(error).empty());
    }
  }
  EXPECT_TRUE(IsDirectory(Path(L"new")));
  EXPECT_FALSE(PathExists(Path(L"absent")));
}

TEST_F(PlatformTest, MakeDirectoriesMakesEachMissingLevel) {
  const std::wstring deep = Join(Join(Path(L"a"), L"b"), L"c");
  ASSERT_TRUE(MakeDirectories(deep));
  EXPECT_TRUE(IsDirectory(deep));
  // Again: every level is there already.
  EXPECT_TRUE(MakeDirectories(deep));

  // A file in the way: the level below it cannot be made, and nothing under that is tried.
  ASSERT_TRUE(WriteWhole(Path(L"file"), "x"));
  ErrorCode error = 0;
  EXPECT_FALSE(MakeDirectories(Join(Join(Path(L"file"), L"x"), L"y"), &error));
  EXPECT_NE(error, 0u);
  // The file itself counts as there: whether the path is a folder is for the caller to see.
  EXPECT_TRUE(MakeDirectories(Path(L"file")));

  // The known part of the path is taken as made and never touched: here it is missing, so
  // the first level below it fails.
  const std::wstring known = Path(L"absent");
  error = 0;
  EXPECT_FALSE(MakeDirectories(Join(known, L"child"), &error, known.size()));
  EXPECT_NE(error, 0u);
  EXPECT_FALSE(PathExists(known));
  ASSERT_EQ(MakeDirectory(known), MakeDirResult::kCreated);
  EXPECT_TRUE(MakeDirectories(Join(Join(known, L"child"), L"leaf"), nullptr, known.size()));
  EXPECT_TRUE(IsDirectory(Join(Join(known, L"child"), L"leaf")));
#ifdef _WIN32
  // Windows takes "/" as a separator too.
  EXPECT_TRUE(MakeDirectories(scratch_ + L"/slash/ed"));
  EXPECT_TRUE(IsDirectory(Join(Path(L"slash"), L"ed")));
#endif
}

TEST(PathJoinTest, OneSeparatorBetweenTheParts) {
#ifdef _WIN32
  EXPECT_EQ(JoinPath(L"C:\\Temp\\ClcTemp", L"Book.ods0"), L"C:\\Temp\\ClcTemp\\Book.ods0");
  EXPECT_EQ(WithTrailingSeparator(L"C:\\Out"), L"C:\\Out\\");
  EXPECT_EQ(WithTrailingSeparator(L"C:\\Out\\"), L"C:\\Out\\");
#else
  EXPECT_EQ(JoinPath(L"/tmp/ClcTemp", L"Book.ods0"), L"/tmp/ClcTemp/Book.ods0");
  EXPECT_EQ(WithTrailingSeparator(L"/out"), L"/out/");
  EXPECT_EQ(WithTrailingSeparator(L"/out/"), L"/out/");
#endif
  // The folder is taken as given, a separator at its end included.
  EXPECT_EQ(JoinPath(std::wstring(L"f") + kSeparator, L"x"),
            std::wstring(L"f") + kSeparator + kSeparator + L"x");
  EXPECT_EQ(WithTrailingSeparator(L""), std::wstring(1, kSeparator));
}

TEST_F(PlatformTest, PathKinds) {
  ASSERT_TRUE(WriteWhole(Path(L"file"), "x"));
  ASSERT_EQ(MakeDirectory(Path(L"dir")), MakeDirResult::kCreated);
  struct Case {
    std::wstring name;
    bool exists;
    bool directory;
  };
  const Case cases[] = {{L"file", true, false}, {L"dir", true, true}, {L"none", false, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(PathExists(Path(c.name)), c.exists) << c.name;
    EXPECT_EQ(IsDirectory(Path(c.name)), c.directory) << c.name;
  }
}

TEST_F(PlatformTest, ListDirectoryGivesNamesAndKinds) {
  ASSERT_TRUE(WriteWhole(Path(L"a.xml"), "a"));
  ASSERT_TRUE(WriteWhole(Path(L".hidden"), "b"));
  ASSERT_EQ(MakeDirectory(Path(L"Pictures")), MakeDirResult::kCreated);
  ASSERT_TRUE(WriteWhole(Join(Path(L"Pictures"), L"inner.png"), "c"));
  std::map<std::wstring, bool> seen;
  ASSERT_TRUE(ListDirectory(scratch_, [&](const DirItem& item) {
    EXPECT_TRUE(seen.emplace(item.name, item.is_directory).second) << "twice: " << item.name;
    return true;
  }));
  const std::map<std::wstring, bool> expected = {
      {L"a.xml", false}, {L".hidden", false}, {L"Pictures", true}};
  EXPECT_EQ(seen, expected);

  int visits = 0;
  EXPECT_TRUE(ListDirectory(scratch_, [&](const DirItem&) {
    ++visits;
    return false;
  }));
  EXPECT_EQ(visits, 1);

  EXPECT_FALSE(ListDirectory(Path(L"missing"), [](const DirItem&) { return true; }));
}

TEST_F(PlatformTest, RenameReplacingReplacesTheTarget) {
  ASSERT_TRUE(WriteWhole(Path(L"from"), "new content"));
  ASSERT_TRUE(WriteWhole(Path(L"to"), "old"));
  ASSERT_TRUE(RenameReplacing(Path(L"from"), Path(L"to")));
  EXPECT_FALSE(PathExists(Path(L"from")));
  EXPECT_EQ(ReadWhole(Path(L"to")), "new content");
  EXPECT_FALSE(RenameReplacing(Path(L"from"), Path(L"to")));
  EXPECT_EQ(ReadWhole(Path(L"to")), "new content");
}

TEST_F(PlatformTest, CopyFileReplacingReplacesTheTarget) {
  std::string big(300000, 'q');
  big[123456] = 'z';
  ASSERT_TRUE(WriteWhole(Path(L"src"), big));
  ASSERT_TRUE(WriteWhole(Path(L"dst"), std::string(400000, 'o')));
  ASSERT_TRUE(CopyFileReplacing(Path(L"src"), Path(L"dst")));
  EXPECT_TRUE(PathExists(Path(L"src")));
  File copy = File::OpenRead(Path(L"dst"), Sharing::kRead);
  ASSERT_TRUE(copy.IsOpen());
  std::string back(big.size() + 1, '\0');
  ASSERT_EQ(copy.Read(back.data(), back.size()), static_cast<int64_t>(big.size()));
  back.resize(big.size());
  EXPECT_EQ(back, big);

  EXPECT_FALSE(CopyFileReplacing(Path(L"missing"), Path(L"dst2")));
  EXPECT_FALSE(PathExists(Path(L"dst2")));
}

TEST_F(PlatformTest, CopyOntoItselfKeepsTheFile) {
  ASSERT_TRUE(WriteWhole(Path(L"self"), "precious"));
  EXPECT_FALSE(CopyFileReplacing(Path(L"self"), Path(L"self")));
  EXPECT_EQ(ReadWhole(Path(L"self")), "precious");
}

TEST_F(PlatformTest, RemoveEmptyDirectoryRefusesAFullFolder) {
  const std::wstring folder = Path(L"full");
  ASSERT_EQ(MakeDirectory(folder), MakeDirResult::kCreated);
  ASSERT_TRUE(WriteWhole(Join(folder, L"x"), "x"));
  EXPECT_FALSE(RemoveEmptyDirectory(folder));
  EXPECT_TRUE(IsDirectory(folder));
  ASSERT_TRUE(RemoveFile(Join(folder, L"x")));
  EXPECT_FALSE(RemoveFile(Join(folder, L"x")));
  EXPECT_TRUE(RemoveEmptyDirectory(folder));
  EXPECT_FALSE(PathExists(folder));
}

TEST_F(PlatformTest, LocalUtcOffsetIsWithinTheWorldsZones) {
  const int64_t offset = LocalUtcOffsetNow();
  EXPECT_GE(offset, -12 * 3600);
  EXPECT_LE(offset, 14 * 3600);
}

TEST_F(PlatformTest, LocalUtcOffsetFollowsTheTimeZone) {
  struct Case {
    const char* tz;
    int64_t offset;
  };
  for (const Case& c :
       {Case{"UTC0", 0}, Case{"XXX-3", 3 * 3600}, Case{"YYY5:30", -5 * 3600 - 1800}}) {
    const test::TimeZoneGuard zone(c.tz);
    EXPECT_EQ(LocalUtcOffsetNow(), c.offset) << c.tz;
  }
}

#ifndef _WIN32
TEST_F(PlatformTest, NarrowAndWidenRoundTripEveryByte) {
  std::string bytes;
  for (int b = 1; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
  const std::wstring wide = WidenPath(bytes);
  ASSERT_EQ(wide.size(), bytes.size());
  EXPECT_EQ(wide[0x7F], L'\x80');
  EXPECT_EQ(wide[0xFE], L'\xFF');
  EXPECT_EQ(NarrowPath(wide), bytes);
  // Code units above one byte can only come from our own literals; they become UTF-8.
  EXPECT_EQ(NarrowPath(L"\u20AC/\U0001F600"), "\xE2\x82\xAC/\xF0\x9F\x98\x80");
}

TEST_F(PlatformTest, FileNamesThatAreNotUtf8SurviveTheFileSystem) {
  std::string raw = "n";
  for (int b = 0x80; b <= 0xFF; ++b) raw.push_back(static_cast<char>(b));
  const std::wstring name = WidenPath(raw);
  ASSERT_TRUE(WriteWhole(Path(name), "bytes"));
  std::vector<std::wstring> names;
  ASSERT_TRUE(ListDirectory(scratch_, [&](const DirItem& item) {
    names.push_back(item.name);
    return true;
  }));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], name);
  EXPECT_EQ(ReadWhole(Path(names[0])), "bytes");
}

TEST_F(PlatformTest, SymbolicLinksAreListedAsFiles) {
  ASSERT_EQ(MakeDirectory(Path(L"target")), MakeDirResult::kCreated);
  ASSERT_TRUE(WriteWhole(Join(Path(L"target"), L"keep"), "k"));
  ASSERT_EQ(symlink(NarrowPath(Path(L"target")).c_str(), NarrowPath(Path(L"link")).c_str()), 0);
  std::map<std::wstring, bool> seen;
  ASSERT_TRUE(ListDirectory(scratch_, [&](const DirItem& item) {
    seen[item.name] = item.is_directory;
    return true;
  }));
  EXPECT_EQ(seen, (std::map<std::wstring, bool>{{L"target", true}, {L"link", false}}));
  // Removing the link as a file leaves what it points at alone.
  EXPECT_TRUE(RemoveFile(Path(L"link")));
  EXPECT_TRUE(PathExists(Join(Path(L"target"), L"keep")));
}

TEST_F(PlatformTest, InfoReportsReadOnlyAndHiddenFromTheName) {
  ASSERT_TRUE(WriteWhole(Path(L".dotted"), "d"));
  ASSERT_TRUE(WriteWhole(Path(L"locked"), "l"));
  ASSERT_EQ(chmod(NarrowPath(Path(L"locked")).c_str(), 0444), 0);
  struct Case {
    std::wstring name;
    uint32_t attributes;
  };
  for (const Case& c : {Case{L".dotted", kAttrHidden | kAttrArchive},
                        Case{L"locked", kAttrReadOnly | kAttrArchive}}) {
    File file = File::OpenRead(Path(c.name), Sharing::kRead);
    ASSERT_TRUE(file.IsOpen());
    FileInfo info;
    ASSERT_TRUE(file.GetInfo(&info));
    EXPECT_EQ(info.attributes, c.attributes) << c.name;
  }
}
#endif

}  // namespace
}  // namespace velmora::platform
