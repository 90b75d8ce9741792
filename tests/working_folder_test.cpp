// The working folder's place, the folders made along entry names, the messages for folders
// that cannot be made, and the deletion of a tree. Every test works in a scratch folder; the
// real ClcTemp is never touched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/job/working_folder.h"
#include "extraction_fixtures.h"
#include "support/recording_window.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velmora {
namespace {

using extraction_test::Join;
using extraction_test::Names;
using extraction_test::ReadBytes;
using extraction_test::ScratchFolder;
using extraction_test::WriteBytes;

constexpr wchar_t kSep = platform::kSeparator;

// Restores the default working folder whatever a test leaves behind.
class WorkingFolderTest : public ::testing::Test {
 protected:
  void TearDown() override { SetWorkingFolderOverride(L""); }

  std::wstring Base() const { return scratch_.path() + kSep; }

  ScratchFolder scratch_;
};

TEST_F(WorkingFolderTest, PathIsTheTempFolderAndClcTempUnlessOverridden) {
  EXPECT_EQ(GetWorkingFolderPath(), platform::TempFolder() + L"ClcTemp");
  SetWorkingFolderOverride(scratch_.Path(L"run1"));
  EXPECT_EQ(GetWorkingFolderPath(), scratch_.Path(L"run1"));
  EXPECT_FALSE(platform::PathExists(scratch_.Path(L"run1")));  // computing creates nothing
  SetWorkingFolderOverride(L"");
  EXPECT_EQ(GetWorkingFolderPath(), platform::TempFolder() + L"ClcTemp");
}

struct DirCase {
  std::wstring name;
  std::wstring full;                  // relative to the base, native separators; "" = none
  std::vector<std::wstring> folders;  // folders that exist afterwards, relative to the base
};

TEST_F(WorkingFolderTest, CreatePathDirectoriesMakesTheFoldersAlongTheName) {
  const std::wstring s(1, kSep);
  const DirCase cases[] = {
      {L"content.xml", L"content.xml", {}},
      {L"Pictures\\img.png", L"Pictures" + s + L"img.png", {L"Pictures"}},
      {L"a:b.xml", L"ab.xml", {}},
      {L"a\\b\\c.xml", L"a" + s + L"b" + s + L"c.xml", {L"a", L"a" + s + L"b"}},
      {L"..\\..\\up.xml", L"up.xml", {}},
      {L"\\root\\x.xml", L"root" + s + L"x.xml", {L"root"}},
      {L"Pictures\\", L"", {}},
  };
  for (const DirCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "name: " << c.name);
    ScratchFolder base;
    test::RecordingWindow view;
    std::wstring relative = c.name;
    CreatePathDirectories(view, base.path() + kSep, relative);
    EXPECT_EQ(relative, c.full.empty() ? L"" : base.path() + kSep + c.full);
    for (const std::wstring& folder : c.folders)
      EXPECT_TRUE(platform::IsDirectory(Join(base.path(), folder))) << folder;
    if (c.folders.empty()) {
      EXPECT_EQ(Names(base.path()), std::vector<std::wstring>{});
    }
    EXPECT_TRUE(view.calls.empty());
  }
}

TEST_F(WorkingFolderTest, ExistingFoldersBringNoMessage) {
  test::RecordingWindow view;
  for (int run = 0; run < 2; ++run) {
    std::wstring relative = L"a\\b\\c.xml";
    CreatePathDirectories(view, Base(), relative);
  }
  EXPECT_TRUE(view.calls.empty());
  EXPECT_TRUE(platform::IsDirectory(scratch_.Path(L"a") + kSep + L"b"));
}

// The message box must carry the system's own text for the error of the failing folder; the
// test asks the system for that text the same way.
std::wstring SystemTextForMakingFolder(const std::wstring& path) {
  platform::ErrorCode error = 0;
  EXPECT_EQ(platform::MakeDirectory(path, &error), platform::MakeDirResult::kFailed);
  return platform::SystemErrorText(error);
}

TEST_F(WorkingFolderTest, FolderThatCannotBeMadeBringsOneMessage) {
  // A file stands where a folder is needed: "x" itself "exists", "x\y" cannot be made.
  ASSERT_TRUE(WriteBytes(scratch_.Path(L"x"), "a file"));
  const std::wstring long_name(300, L'n');
  struct Case {
    std::wstring name;
    std::wstring failing;  // the folder that cannot be made
  };
  std::vector<Case> cases = {
      {L"x\\y\\z.xml", scratch_.Path(L"x") + kSep + L"y"},
      {long_name + L"\\f.xml", scratch_.Path(long_name)},
  };
#ifdef _WIN32
  cases.push_back({L"a?b\\c.xml", scratch_.Path(L"a?b")});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "name: " << c.name.substr(0, 40));
    test::RecordingWindow view;
    std::wstring relative = c.name;
    CreatePathDirectories(view, Base(), relative);
    const std::wstring text = SystemTextForMakingFolder(c.failing);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(view.calls, std::vector<std::wstring>{L"MessageBox none 64 " + text});
    // The walk goes on and the path is still made; writing to it fails later.
    EXPECT_EQ(relative.rfind(Base(), 0), 0u);
  }
  EXPECT_EQ(ReadBytes(scratch_.Path(L"x")), "a file");
}

// A tree three levels deep with files at every level.
void MakeTree(const std::wstring& top) {
  std::wstring folder = top;
  for (const wchar_t* level : {L"one", L"two", L"three"}) {
    ASSERT_TRUE(WriteBytes(Join(folder, L"file.txt"), "x"));
    folder = Join(folder, level);
    ASSERT_EQ(platform::MakeDirectory(folder), platform::MakeDirResult::kCreated);
  }
  ASSERT_TRUE(WriteBytes(Join(folder, L"deepest.xml"), "x"));
}

TEST_F(WorkingFolderTest, DeleteFolderTreeEmptiesTheFolderAndKeepsIt) {
  for (const std::wstring& suffix : {std::wstring(), std::wstring(1, kSep)}) {
    const std::wstring top = scratch_.Path(L"tree");
    ASSERT_EQ(platform::MakeDirectory(top), platform::MakeDirResult::kCreated);
    MakeTree(top);
    DeleteFolderTree(top + suffix);
    EXPECT_TRUE(platform::IsDirectory(top));
    EXPECT_EQ(Names(top), std::vector<std::wstring>{});
    EXPECT_TRUE(platform::RemoveEmptyDirectory(top));
  }
}

#ifndef _WIN32
TEST_F(WorkingFolderTest, DeleteFolderTreeRemovesLinksNotWhatTheyPointAt) {
  const std::wstring outside = scratch_.Path(L"outside");
  ASSERT_EQ(platform::MakeDirectory(outside), platform::MakeDirResult::kCreated);
  ASSERT_TRUE(WriteBytes(Join(outside, L"keep.txt"), "keep"));
  const std::wstring top = scratch_.Path(L"tree");
  ASSERT_EQ(platform::MakeDirectory(top), platform::MakeDirResult::kCreated);
  ASSERT_EQ(symlink(platform::NarrowPath(outside).c_str(),
                    platform::NarrowPath(Join(top, L"link")).c_str()),
            0);
  DeleteFolderTree(top);
  EXPECT_EQ(Names(top), std::vector<std::wstring>{});
  EXPECT_EQ(ReadBytes(Join(outside, L"keep.txt")), "keep");
}
#endif

TEST_F(WorkingFolderTest, DiscardLetsThePreviewGoThenRemovesTheFolder) {
  const std::wstring working = scratch_.Path(L"ClcTemp");
  SetWorkingFolderOverride(working);

  test::RecordingWindow idle;
  DiscardWorkingFolder(idle);  // no folder yet: nothing happens
  EXPECT_TRUE(idle.calls.empty());

  ASSERT_EQ(platform::MakeDirectory(working), platform::MakeDirResult::kCreated);
  const std::wstring file_folder = Join(working, L"Budget.ods0");
  ASSERT_EQ(platform::MakeDirectory(file_folder), platform::MakeDirResult::kCreated);
  MakeTree(file_folder);
  test::RecordingWindow view;
  DiscardWorkingFolder(view);
  EXPECT_EQ(view.calls, std::vector<std::wstring>{L"ShowPreview 6 "});
  EXPECT_FALSE(platform::PathExists(working));
}

}  // namespace
}  // namespace velmora
