// The picture the preview pane is given for a listed file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/job/job_context.h"
#include "engine/job/working_folder.h"
#include "output/preview_lookup.h"
#include "platform/platform.h"
#include "support/job_runner.h"
#include "support/recording_window.h"
#include "support/scratch.h"
#include "support/zip_test_support.h"

namespace velmora {
namespace {

class PreviewLookupTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWorkingFolderOverride(working_); }
  void TearDown() override { SetWorkingFolderOverride(L""); }

  // The path of a file below the working folder, "/" written as the platform's separator.
  std::wstring Under(const std::wstring& relative) { return scratch_.Path(L"ClcTemp/" + relative); }

  ziptest::ScratchFolder scratch_;
  const std::wstring working_ = scratch_.Path(L"ClcTemp");
  test::RecordingWindow view_;
};

TEST_F(PreviewLookupTest, ThumbnailOrFirstPictureOrCode) {
  const std::wstring docs = std::wstring(L"Docs") + platform::kSeparator;
  struct Case {
    const char* what;
    std::vector<std::wstring> files;  // below the working folder
    int position;
    int result;
    std::wstring shown;  // relative to the working folder; empty: no picture
    int code;
    Verdict verdict = Verdict::kNone;  // the item's, as the repair judged it
  };
  const Case cases[] = {
      {"thumbnail",
       {L"Budget.ods0/Thumbnails/thumbnail.png", L"Budget.ods0/Pictures/a.png"},
       0,
       1,
       L"Budget.ods0/Thumbnails/thumbnail.png",
       kPreviewBlank},
      {"position picks the folder",
       {L"Budget.ods0/Thumbnails/thumbnail.png", L"Budget.ods2/Thumbnails/thumbnail.png"},
       2,
       1,
       L"Budget.ods2/Thumbnails/thumbnail.png",
       kPreviewBlank},
      {"picture two folders deep",
       {L"Budget.ods0/content.xml", L"Budget.ods0/Object 1/Pictures/p.gif"},
       0,
       1,
       L"Budget.ods0/Object 1/Pictures/p.gif",
       kPreviewBlank},
      {"no picture",
       {L"Budget.ods0/content.xml", L"Budget.ods0/Pictures/chart.svg"},
       0,
       0,
       L"",
       kPreviewNoPicture},
      {"no file folder", {L"Other.ods0/Thumbnails/thumbnail.png"}, 0, 0, L"", kPreviewNoPicture},
      // A file repaired into several documents: the first one's picture, with the note.
      {"two documents",
       {L"Budget.ods0/Thumbnails/thumbnail.png", L"Budget.ods0~2/Thumbnails/thumbnail.png"},
       0,
       1,
       L"Budget.ods0/Thumbnails/thumbnail.png",
       kPreviewSeveralDocuments},
      {"three documents, a picture found by the walk",
       {L"Budget.ods0/Pictures/a.png", L"Budget.ods0~2/content.xml", L"Budget.ods0~3/content.xml"},
       0,
       1,
       L"Budget.ods0/Pictures/a.png",
       kPreviewSeveralDocuments},
      {"two documents, no picture in the first",
       {L"Budget.ods0/content.xml", L"Budget.ods0~2/Pictures/a.png"},
       0,
       0,
       L"",
       kPreviewSeveralDocuments},
      {"a further document of another item",
       {L"Budget.ods0/Thumbnails/thumbnail.png", L"Budget.ods1~2/content.xml"},
       0,
       1,
       L"Budget.ods0/Thumbnails/thumbnail.png",
       kPreviewBlank},
      {"a third document's folder without a second is not counted",
       {L"Budget.ods0/Thumbnails/thumbnail.png", L"Budget.ods0~3/content.xml"},
       0,
       1,
       L"Budget.ods0/Thumbnails/thumbnail.png",
       kPreviewBlank},
      // The verdict: a file whose sheets did not come back shows no picture, since its
      // thumbnail shows a table of which nothing came back; a partial one shows it.
      {"partly repaired",
       {L"Budget.ods0/Thumbnails/thumbnail.png"},
       0,
       1,
       L"Budget.ods0/Thumbnails/thumbnail.png",
       kPreviewBlank,
       Verdict::kPartial},
      {"lost", {L"Budget.ods0/Thumbnails/thumbnail.png"}, 0, 0, L"", kPreviewBlank, Verdict::kLost},
      {"not repaired",
       {L"Budget.ods0/Pictures/a.png"},
       0,
       0,
       L"",
       kPreviewBlank,
       Verdict::kNotRepaired},
      {"lost, two documents",
       {L"Budget.ods0/Thumbnails/thumbnail.png", L"Budget.ods0~2/content.xml"},
       0,
       0,
       L"",
       kPreviewSeveralDocuments,
       Verdict::kLost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ziptest::RemoveTree(working_);
    scratch_.MakeFolder(L"ClcTemp");
    for (const std::wstring& file : c.files) scratch_.Write(L"ClcTemp/" + file, "p");
    test::RecordingWindow view;
    for (int i = 0; i <= c.position; ++i) view.AddFile(docs + L"Budget.ods");
    view.SetFileVerdict(c.position, FileVerdict{c.verdict, L"", {}});
    EXPECT_EQ(OnPreviewRequest(view, c.position), c.result);
    const std::wstring shown = c.shown.empty() ? L"" : Under(c.shown);
    EXPECT_EQ(view.previews, (std::vector<std::pair<std::wstring, int>>{{shown, c.code}}));
  }
}

TEST_F(PreviewLookupTest, FirstPictureInListingOrderStopsTheSearch) {
  scratch_.Write(L"ClcTemp/Budget.ods0/content.xml", "<x/>");
  scratch_.Write(L"ClcTemp/Budget.ods0/Pictures/a.png", "a");
  scratch_.Write(L"ClcTemp/Budget.ods0/Pictures/b.jpg", "b");
  scratch_.Write(L"ClcTemp/Budget.ods0/Other/c.bmp", "c");
  view_.AddFile(std::wstring(L"Docs") + platform::kSeparator + L"Budget.ods");
  // The first picture a depth-first walk in the system's order meets.
  std::wstring first;
  const std::wstring folder = Under(L"Budget.ods0");
  for (const std::wstring& name : ziptest::ListedNames(folder)) {
    if (name == L"content.xml") continue;
    first = test::Join(test::Join(folder, name),
                       ziptest::ListedNames(test::Join(folder, name)).front());
    break;
  }
  EXPECT_EQ(OnPreviewRequest(view_, 0), 1);
  EXPECT_EQ(view_.previews, (std::vector<std::pair<std::wstring, int>>{{first, kPreviewBlank}}));
}

// The thumbnail wins even when a walk in the system's listing order would meet another
// picture first: pictures are added beside it until one is listed before "Thumbnails".
TEST_F(PreviewLookupTest, ThumbnailWinsOverPicturesListedBeforeIt) {
  scratch_.Write(L"ClcTemp/Budget.ods0/Thumbnails/thumbnail.png", "t");
  const std::wstring folder = Under(L"Budget.ods0");
  auto picture_listed_first = [&] {
    for (const std::wstring& name : ziptest::ListedNames(folder)) {
      if (name == L"Thumbnails") return false;
      if (name.rfind(L"p", 0) == 0) return true;
    }
    return false;
  };
  for (int i = 0; i < 64 && !picture_listed_first(); ++i) {
    scratch_.Write(L"ClcTemp/Budget.ods0/p" + std::to_wstring(i) + L".png", "p");
  }
  ASSERT_TRUE(picture_listed_first()) << "no picture is listed before the thumbnail's folder";
  view_.AddFile(std::wstring(L"Docs") + platform::kSeparator + L"Budget.ods");
  EXPECT_EQ(OnPreviewRequest(view_, 0), 1);
  EXPECT_EQ(view_.previews, (std::vector<std::pair<std::wstring, int>>{
                                {Under(L"Budget.ods0/Thumbnails/thumbnail.png"), kPreviewBlank}}));
}

// Two spreadsheets written by office programs, joined into one file in either order: the
// repair keeps them apart, and the preview shows the first one's thumbnail with the note.
TEST_F(PreviewLookupTest, AFileOfTwoJoinedSpreadsheetsShowsTheNote) {
  const std::wstring numbers = test::SourcePath("tests/interop/fixtures/numbers_text.ods");
  const std::wstring pictures = test::SourcePath("tests/interop/fixtures/pictures.ods");
  const std::pair<std::wstring, std::wstring> orders[] = {{numbers, pictures}, {pictures, numbers}};
  int n = 0;
  for (const auto& [first, second] : orders) {
    SCOPED_TRACE(n);
    ziptest::RemoveTree(working_);
    test::Bytes joined = test::ReadBytes(first);
    const test::Bytes more = test::ReadBytes(second);
    ASSERT_FALSE(joined.empty());
    ASSERT_FALSE(more.empty());
    joined.insert(joined.end(), more.begin(), more.end());
    const std::wstring path = scratch_.Path(L"Joined" + std::to_wstring(n++) + L".ods");
    ASSERT_TRUE(test::WriteBytes(path, joined));
    test::RecordingWindow view;
    view.AddFile(path);
    JobRunning running{0};
    const JobContext context{&running, &view};
    ASSERT_TRUE(test::RunRepairJob(context).completed);
    ASSERT_EQ(view.files[0].image, kImageRepaired);
    view.previews.clear();
    EXPECT_EQ(OnPreviewRequest(view, 0), 1);
    const std::wstring folder = FileFolderPath(path, 0);
    EXPECT_EQ(view.previews,
              (std::vector<std::pair<std::wstring, int>>{
                  {platform::JoinPath(platform::JoinPath(folder, L"Thumbnails"), L"thumbnail.png"),
                   kPreviewSeveralDocuments}}));
  }
}

TEST_F(PreviewLookupTest, NoWorkingFolderMeansNotRepaired) {
  view_.AddFile(std::wstring(L"Docs") + platform::kSeparator + L"Budget.ods");
  EXPECT_FALSE(platform::PathExists(working_));
  EXPECT_EQ(OnPreviewRequest(view_, 0), 0);
  EXPECT_EQ(view_.previews,
            (std::vector<std::pair<std::wstring, int>>{{L"", kPreviewNotRepaired}}));
}

}  // namespace
}  // namespace velmora
