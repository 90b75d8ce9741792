// Which files count as pictures, and their flat copy into a media folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "output/media_extractor.h"
#include "platform/platform.h"
#include "support/scratch.h"
#include "support/zip_test_support.h"

namespace velmora {
namespace {

TEST(IsMediaFileTest, ExtensionDecides) {
  const struct {
    const wchar_t* name;
    bool media;
  } cases[] = {
      {L"photo.PNG", true},
      {L"Pictures\\photo.PNG", true},
      {L"Thumbnails\\thumbnail.png", true},
      {L"Thumbnails/thumbnail.png", true},
      {L"a.jpg", true},
      {L"b.JPEG", true},
      {L"c.bmp", true},
      {L"d.Gif", true},
      {L"e.emf", true},
      {L".png", true},
      {L"x.tar.png", true},
      {L"content.xml", false},
      {L"image.jpe", false},
      {L"chart.svg", false},
      {L"logo.tiff", false},
      {L"README", false},
      {L"png", false},
      {L"shot.png.", false},
      {L"Pictures.png\\README", false},
      {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsMediaFile(c.name), c.media) << ziptest::Narrow(c.name);
}

class MediaExtractorTest : public ::testing::Test {
 protected:
  std::vector<std::wstring> MediaNames() {
    std::vector<std::wstring> names = ziptest::ListedNames(media_);
    std::sort(names.begin(), names.end());
    return names;
  }

  ziptest::ScratchFolder scratch_;
  const std::wstring source_ = scratch_.MakeFolder(L"ClcTemp/Budget.ods0");
  const std::wstring media_ = scratch_.MakeFolder(L"Out/Budget.ods_MediaContent");
};

TEST_F(MediaExtractorTest, PicturesAreCopiedFlat) {
  scratch_.Write(L"ClcTemp/Budget.ods0/content.xml", "<x/>");
  scratch_.Write(L"ClcTemp/Budget.ods0/README", "r");
  scratch_.Write(L"ClcTemp/Budget.ods0/Pictures/a.png", "A");
  scratch_.Write(L"ClcTemp/Budget.ods0/Pictures/b.JPG", "B");
  scratch_.Write(L"ClcTemp/Budget.ods0/Pictures/logo.tiff", "T");
  scratch_.Write(L"ClcTemp/Budget.ods0/Thumbnails/thumbnail.png", "N");
  scratch_.Write(L"ClcTemp/Budget.ods0/Object 1/deep/er/chart.emf", "E");
  EXPECT_EQ(ExtractMedia(media_, source_), 1);
  EXPECT_EQ(MediaNames(),
            (std::vector<std::wstring>{L"a.png", L"b.JPG", L"chart.emf", L"thumbnail.png"}));
  EXPECT_EQ(ziptest::ReadBytes(test::Join(media_, L"a.png")), "A");
  EXPECT_EQ(ziptest::ReadBytes(test::Join(media_, L"chart.emf")), "E");
}

TEST_F(MediaExtractorTest, SameNamedPicturesEndAsTheOneCopiedLast) {
  scratch_.Write(L"ClcTemp/Budget.ods0/Pictures/x.png", "from Pictures");
  scratch_.Write(L"ClcTemp/Budget.ods0/Other/x.png", "from Other");
  EXPECT_EQ(ExtractMedia(media_, source_), 1);
  const std::vector<std::wstring> listed = ziptest::ListedNames(source_);
  const std::wstring later = std::find(listed.begin(), listed.end(), L"Other") <
                                     std::find(listed.begin(), listed.end(), L"Pictures")
                                 ? L"Pictures"
                                 : L"Other";
  EXPECT_EQ(MediaNames(), std::vector<std::wstring>{L"x.png"});
  EXPECT_EQ(ziptest::ReadBytes(test::Join(media_, L"x.png")), "from " + ziptest::Narrow(later));
}

TEST_F(MediaExtractorTest, EarlierCopyIsOverwritten) {
  scratch_.Write(L"Out/Budget.ods_MediaContent/a.png", "old and longer");
  scratch_.Write(L"ClcTemp/Budget.ods0/Pictures/a.png", "new");
  EXPECT_EQ(ExtractMedia(media_, source_), 1);
  EXPECT_EQ(ziptest::ReadBytes(test::Join(media_, L"a.png")), "new");
}

TEST_F(MediaExtractorTest, NothingToCopyOrNowhereToCopyTo) {
  // No picture: the media folder stays empty (the save job then removes it).
  scratch_.Write(L"ClcTemp/Budget.ods0/content.xml", "<x/>");
  EXPECT_EQ(ExtractMedia(media_, source_), 1);
  EXPECT_TRUE(MediaNames().empty());
  // Missing source folder: no copies, normal end.
  EXPECT_EQ(ExtractMedia(media_, scratch_.Path(L"ClcTemp/Missing.ods1")), 1);
  EXPECT_TRUE(MediaNames().empty());
  // Missing media folder: every copy fails silently.
  scratch_.Write(L"ClcTemp/Budget.ods0/Pictures/a.png", "A");
  const std::wstring gone = scratch_.Path(L"Out/Gone_MediaContent");
  EXPECT_EQ(ExtractMedia(gone, source_), 1);
  EXPECT_FALSE(platform::PathExists(gone));
}

}  // namespace
}  // namespace velmora
