#include "output/save_job.h"
#include "output/save_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>

#include "engine/job/repair_job.h"
#include "engine/job/working_folder.h"
#include "platform/platform.h"
#include "support/job_runner.h"
#include "support/recording_window.h"
#include "support/scratch.h"
#include "support/small_volume.h"

namespace velmora::test {
namespace {

const std::wstring kSep(1, platform::kSeparator);
const std::wstring kStars =
    L"*************************************************"
    L"************************************\r\n";

class HookedWindow : public RecordingWindow {
 public:
  std::function<void(const std::wstring&)> on_log;
  std::function<void(int)> on_file_text;  // the job takes up the item at this position
  void AppendLog(const std::wstring& text, uint32_t colour) override {
    RecordingWindow::AppendLog(text, colour);
    if (on_log) on_log(text);
  }
  std::wstring FileText(int index) override {
    if (on_file_text) on_file_text(index);
    return RecordingWindow::FileText(index);
  }
};

// What the save job told the observer, per file.
class SaveLog : public RecoveryObserver {
 public:
  void OnFileRecovered(const FileRecovery&) override {}
  void OnFileSaved(const FileSave& save) override { saves.push_back(save); }
  std::vector<FileSave> saves;
};

class SaveJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWorkingFolderOverride(scratch_.Path(L"ClcTemp"));
    platform::MakeDirectory(out_);
    window_.destination = out_;
  }
  void TearDown() override { SetWorkingFolderOverride(L""); }
  std::wstring AddJoinedAndRepair();

  std::wstring Package(const std::wstring& name, const std::vector<ZipPart>& parts) {
    std::wstring path = scratch_.Path(name);
    EXPECT_TRUE(WriteBytes(path, MakeZip(parts)));
    return path;
  }
  void Repair() {
    RunRepairJob(context_);
    window_.calls.clear();
  }
  unsigned Save() {
    const JobEnd end = RunSaveJob(context_);
    EXPECT_TRUE(end.completed);
    return end.result;
  }
  // Log lines of the save run from the first one that names `path`.
  std::vector<std::wstring> LinesOf(const std::wstring& path) {
    std::vector<std::wstring> out;
    for (const auto& t : window_.LogTexts())
      if (t.rfind(path + L" ", 0) == 0) out.push_back(t.substr(path.size()));
    return out;
  }

  ScratchFolder scratch_;
  std::wstring out_ = scratch_.Path(L"out");
  HookedWindow window_;
  JobRunning running_{0};
  SaveLog saves_;
  JobContext context_{&running_, &window_, &saves_};
};

const std::vector<ZipPart> kWithPictures = {
    {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
    {"content.xml", TinyContentXml(), true, true},
    {"Pictures/a.png", "png bytes a", true},
    {"Thumbnails/thumbnail.png", "png bytes t", true},
};
const std::vector<ZipPart> kNoPictures = {
    {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
    {"content.xml", TinyContentXml(), true},
};

TEST_F(SaveJobTest, DestinationThatIsNoFolderIsRefusedAndNothingChanges) {
  for (const std::wstring& destination : {std::wstring(), scratch_.Path(L"missing")}) {
    window_.destination = destination;
    window_.calls.clear();
    EXPECT_EQ(Save(), 0u);
    EXPECT_EQ(
        window_.calls,
        (std::vector<std::wstring>{L"MessageBox none 64 Please select a valid folder path."}));
    EXPECT_EQ(running_.load(), 0);
  }
}

TEST_F(SaveJobTest, SaveWhileAJobRunsIsRefused) {
  running_.store(1);
  JobThread worker;
  EXPECT_FALSE(OnSaveFiles(context_, worker));
  EXPECT_FALSE(worker.Joinable());
  EXPECT_EQ(
      window_.boxes,
      (std::vector<std::wstring>{L"Please stop the running process before saving the file(s)."}));
}

TEST_F(SaveJobTest, SavesRepairedFilesWithMediaAndReportsTheRest) {
  const std::wstring a = Package(L"a.ods", kWithPictures);
  const std::wstring b = Package(L"b.ods", kNoPictures);
  const std::wstring missing = scratch_.Path(L"missing.ods");
  window_.AddFile(a);
  window_.AddFile(b);
  window_.AddFile(missing);
  Repair();
  window_.media_checked = 1;
  EXPECT_EQ(Save(), 1u);

  EXPECT_EQ(LinesOf(a), (std::vector<std::wstring>{
                            L" saving of file starts....\r\n",
                            L" package written: " + Join(out_, L"VONDRELREP_a.ods") + L"....\r\n",
                            L" Media extration is done....\r\n", L" saving of file done....\r\n"}));
  EXPECT_EQ(LinesOf(b), (std::vector<std::wstring>{
                            L" saving of file starts....\r\n",
                            L" package written: " + Join(out_, L"VONDRELREP_b.ods") + L"....\r\n",
                            L" no media content is present in the file....\r\n",
                            L" saving of file done....\r\n"}));
  EXPECT_EQ(LinesOf(missing),
            (std::vector<std::wstring>{L" cannot be saved,as it is not Repaired.\r\n"}));
  const auto lines = window_.LogTexts();
  EXPECT_EQ(lines.back(),
            L"___________________________________________________"
            L"_____________\r\n\r\n");
  EXPECT_EQ(lines[lines.size() - 2], L"Saving processing completed: 2 saved, 1 not saved....\r\n");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), kStars), 3);

  // The package holds the extracted tree; the pictures sit flat in the media
  // folder.
  EXPECT_FALSE(ReadBytes(Join(out_, L"VONDRELREP_a.ods")).empty());
  EXPECT_FALSE(ReadBytes(Join(out_, L"VONDRELREP_b.ods")).empty());
  EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_missing.ods")));
  EXPECT_EQ(ReadBytes(Join(out_, (L"a.ods_MediaContent" + kSep + L"a.png"))),
            ToBytes("png bytes a"));
  EXPECT_EQ(ReadBytes(Join(out_, (L"a.ods_MediaContent" + kSep + L"thumbnail.png"))),
            ToBytes("png bytes t"));
  EXPECT_FALSE(platform::PathExists(Join(out_, L"b.ods_MediaContent")));

  // Not every listed file was saved: the box says how many were, with a warning icon.
  EXPECT_EQ(window_.boxes.back(),
            L"2 of 3 file(s) saved; the rest were not saved (see the log).<br>Saved file(s) "
            L"location is:<br><a href='" +
                out_ + L"'>" + out_ + L"</a>");
  EXPECT_EQ(window_.CallsStartingWith(L"MessageBox view 48").size(), 1u);
  EXPECT_EQ(window_.bars[Bar::kTotal].position, 3);
  EXPECT_EQ(running_.load(), 0);
  EXPECT_TRUE(window_.enabled[Control::kSaveFiles]);
  EXPECT_FALSE(window_.shown[Control::kStop]);
  EXPECT_EQ(window_.help_bold, (std::vector<BoldRange>{{11, 22}}));
}

TEST_F(SaveJobTest, SavedPackageReadsBackThroughTheScanner) {
  const std::wstring a = Package(L"a.ods", kWithPictures);
  window_.AddFile(a);
  Repair();
  ASSERT_EQ(Save(), 1u);
  RecordingWindow again;
  again.AddFile(Join(out_, L"VONDRELREP_a.ods"));
  JobRunning running{0};
  SetWorkingFolderOverride(scratch_.Path(L"again"));
  RunRepairJob({&running, &again});
  EXPECT_EQ(
      ReadBytes(scratch_.Path(L"again" + kSep + L"VONDRELREP_a.ods0" + kSep + L"content.xml")),
      ToBytes(TinyContentXml()));
}

TEST_F(SaveJobTest, TrailingSeparatorGivesTheSamePackageAndIsShownAsTyped) {
  window_.AddFile(Package(L"a.ods", kNoPictures));
  Repair();
  window_.destination = out_ + kSep;
  ASSERT_EQ(Save(), 1u);
  EXPECT_TRUE(platform::PathExists(Join(out_, L"VONDRELREP_a.ods")));
  EXPECT_NE(window_.boxes.back().find(L"href='" + out_ + kSep + L"'>"), std::wstring::npos);
  EXPECT_EQ(PackagePath(out_, L"x" + kSep + L"a.ods"),
            PackagePath(out_ + kSep, L"x" + kSep + L"a.ods"));
}

TEST_F(SaveJobTest, DestinationNamesAreEscapedInTheFinalMessage) {
  window_.AddFile(Package(L"a.ods", kNoPictures));
  Repair();
#ifdef _WIN32
  // '<' and '>' cannot be part of a folder name here; '&' and a quote can.
  const std::wstring name = L"it's &lt;x&gt; & co";
  const std::wstring escaped = L"it's &amp;lt;x&amp;gt; &amp; co";
#else
  const std::wstring name = L"it's <b>&lt;x&gt;";
  const std::wstring escaped = L"it's &lt;b&gt;&amp;lt;x&amp;gt;";
#endif
  const std::wstring folder = Join(out_, name);
  ASSERT_EQ(platform::MakeDirectory(folder), platform::MakeDirResult::kCreated);
  window_.destination = folder;
  ASSERT_EQ(Save(), 1u);
  const std::wstring shown = out_ + kSep + escaped;
  EXPECT_EQ(window_.boxes.back(),
            L"File(s) saving process has been completed.Saved file(s) location "
            L"is:<br><a href=\"" +
                shown + L"\">" + shown + L"</a>");
}

TEST_F(SaveJobTest, NoRepairedFileWritesNothingButStillEndsWithTheMessage) {
  window_.AddFile(scratch_.Path(L"nothing.ods"));
  window_.files[0].data = 0;
  ASSERT_EQ(Save(), 1u);
  EXPECT_EQ(window_.LogTexts().front(),
            scratch_.Path(L"nothing.ods") + L" cannot be saved,as it is not Repaired.\r\n");
  EXPECT_EQ(window_.log.front().colour, kRed);
  EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_nothing.ods")));
  EXPECT_EQ(window_.LogTexts()[2], L"Saving processing completed: 0 saved, 1 not saved....\r\n");
  EXPECT_EQ(window_.boxes,
            (std::vector<std::wstring>{L"0 of 1 file(s) saved; the rest were not saved (see the "
                                       L"log).<br>Destination folder:<br><a href='" +
                                       out_ + L"'>" + out_ + L"</a>"}));
  EXPECT_EQ(window_.CallsStartingWith(L"MessageBox view 48").size(), 1u);
}

TEST_F(SaveJobTest, StopDuringTheSecondPackageFinishesItAndKeepsTheRestRepaired) {
  std::vector<std::wstring> paths;
  for (int i = 0; i < 5; ++i) {
    paths.push_back(Package(L"f" + std::to_wstring(i) + L".ods", kNoPictures));
    window_.AddFile(paths.back());
  }
  Repair();
  const std::vector<FileItem> repaired = window_.files;
  window_.on_log = [&](const std::wstring& text) {
    if (text == paths[1] + L" saving of file starts....\r\n") running_.store(0);
  };
  ASSERT_EQ(Save(), 1u);
  EXPECT_EQ(LinesOf(paths[1]).back(), L" saving of file done....\r\n");
  for (int i = 2; i < 5; ++i) {
    EXPECT_EQ(LinesOf(paths[i]), (std::vector<std::wstring>{L" file is not saving as process has "
                                                            L"been stop by the user.... \r\n",
                                                            L" not saved....\r\n"}));
    EXPECT_FALSE(
        platform::PathExists(Join(out_, (L"VONDRELREP_f" + std::to_wstring(i)) + L".ods")));
  }
  // The files not reached keep what the repair gave them: data, image and verdict.
  EXPECT_EQ(window_.files, repaired);
  EXPECT_EQ(
      window_.CallsStartingWith(L"SetBarPos Total"),
      (std::vector<std::wstring>{L"SetBarPos Total 0", L"SetBarPos Total 0", L"SetBarPos Total 1",
                                 L"SetBarPos Total 2", L"SetBarPos Total 5"}));
  const auto lines = window_.LogTexts();
  EXPECT_EQ(lines[lines.size() - 2], L"Saving processing completed: 2 saved, 3 not saved....\r\n");
  EXPECT_EQ(window_.CallsStartingWith(L"MessageBox view"),
            (std::vector<std::wstring>{
                L"MessageBox view 48 Saving was stopped by the user. 2 of 5 file(s) saved; the "
                L"rest were not saved (see the log).<br>Saved file(s) location is:<br><a href='" +
                out_ + L"'>" + out_ + L"</a>"}));

  // A second save writes them; the two packages of the first are there before it now, and
  // "Yes to all" replaces both after one question.
  window_.on_log = nullptr;
  window_.calls.clear();
  window_.answers = {kIdYesForAll};
  ASSERT_EQ(Save(), 1u);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(LinesOf(paths[i]).back(), L" saving of file done....\r\n") << i;
  EXPECT_EQ(
      window_.CallsStartingWith(L"MessageBox view " + std::to_wstring(kMbReplaceQuestion)).size(),
      1u);
  EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_f0 (2).ods")));
  EXPECT_EQ(window_.boxes.back(),
            L"File(s) saving process has been completed.Saved file(s) location is:<br><a href='" +
                out_ + L"'>" + out_ + L"</a>");
}

// A save told to handle one list position packs that file alone, and its stop lines are its own.
TEST_F(SaveJobTest, OnlyFileSavesThatPositionAlone) {
  std::vector<std::wstring> paths;
  for (int i = 0; i < 3; ++i) {
    paths.push_back(Package(L"f" + std::to_wstring(i) + L".ods", kNoPictures));
    window_.AddFile(paths.back());
  }
  Repair();
  context_.only_file = 1;
  ASSERT_EQ(Save(), 1u);
  EXPECT_EQ(LinesOf(paths[1]).back(), L" saving of file done....\r\n");
  EXPECT_TRUE(LinesOf(paths[0]).empty());
  EXPECT_TRUE(LinesOf(paths[2]).empty());
  EXPECT_FALSE(ReadBytes(Join(out_, L"VONDRELREP_f1.ods")).empty());
  EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_f0.ods")));
  EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_f2.ods")));

  // Stopped when the run takes up its file: the stop lines of that file only, and only its
  // mark goes.
  window_.log.clear();
  window_.on_file_text = [&](int index) {
    if (index == 2) running_.store(0);
  };
  context_.only_file = 2;
  ASSERT_EQ(Save(), 1u);
  EXPECT_EQ(window_.LogTexts().front(),
            paths[2] + L" file is not saving as process has been stop by the user.... \r\n");
  EXPECT_TRUE(LinesOf(paths[0]).empty());
  EXPECT_TRUE(LinesOf(paths[1]).empty());
  EXPECT_EQ(window_.files[0].data, 1);
  EXPECT_EQ(window_.files[1].data, 1);
  EXPECT_EQ(window_.files[2].data, 1);
  EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_f2.ods")));
}

TEST_F(SaveJobTest, PackageThatCannotBeWrittenIsReportedNotSaved) {
  window_.AddFile(Package(L"a.ods", kWithPictures));
  Repair();
  // A folder where the package should go: the package cannot be created.
  platform::MakeDirectory(Join(out_, L"VONDRELREP_a.ods"));
  window_.media_checked = 1;
  ASSERT_EQ(Save(), 1u);
  const std::wstring a = window_.files[0].text;
  EXPECT_EQ(LinesOf(a),
            (std::vector<std::wstring>{L" saving of file starts....\r\n", L" not saved....\r\n"}));
  EXPECT_EQ(window_.log[1].colour, kRed);
  EXPECT_EQ(window_.LogTexts()[2], kStars);
}

// The media line says whether the media folder could be removed afterwards: one left by an
// earlier save that still holds files stays, and the line says media were extracted.
TEST_F(SaveJobTest, MediaFolderHoldingEarlierFilesGivesTheExtractedLine) {
  const std::wstring b = Package(L"b.ods", kNoPictures);
  window_.AddFile(b);
  Repair();
  const std::wstring media = Join(out_, L"b.ods_MediaContent");
  platform::MakeDirectory(media);
  ASSERT_TRUE(WriteText(Join(media, L"old.png"), "from an earlier save"));
  window_.media_checked = 1;
  ASSERT_EQ(Save(), 1u);
  EXPECT_EQ(LinesOf(b), (std::vector<std::wstring>{
                            L" saving of file starts....\r\n",
                            L" package written: " + Join(out_, L"VONDRELREP_b.ods") + L"....\r\n",
                            L" Media extration is done....\r\n", L" saving of file done....\r\n"}));
  EXPECT_EQ(ReadBytes(Join(media, L"old.png")), ToBytes("from an earlier save"));
}

// A repaired item whose file folder is gone (the working folder was discarded, or the list
// changed after the repair) has nothing to save: an empty package logged as saved would pass
// for the repaired file.
TEST_F(SaveJobTest, RepairedItemWithoutItsFolderIsReportedNotSaved) {
  const std::wstring a = Package(L"a.ods", kWithPictures);
  window_.AddFile(a);
  Repair();
  const std::wstring folder = scratch_.Path(L"ClcTemp" + kSep + L"a.ods0");
  DeleteFolderTree(folder);
  ASSERT_TRUE(platform::RemoveEmptyDirectory(folder));
  window_.media_checked = 1;
  ASSERT_EQ(Save(), 1u);
  EXPECT_EQ(LinesOf(a),
            (std::vector<std::wstring>{L" saving of file starts....\r\n", L" not saved....\r\n"}));
  EXPECT_EQ(window_.log[1].colour, kRed);
  EXPECT_EQ(window_.LogTexts()[2], kStars);
  EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_a.ods")));
  EXPECT_FALSE(platform::PathExists(Join(out_, L"a.ods_MediaContent")));
  EXPECT_EQ(window_.CallsStartingWith(L"MessageBox view 48").size(), 1u);
}

TEST_F(SaveJobTest, AWorkerThatThrowsIsJoinedAnnouncesItsEndAndGivesTheWindowBack) {
  window_.AddFile(Package(L"a.ods", kNoPictures));
  Repair();
  window_.on_log = [](const std::wstring& text) {
    if (text.find(L" saving of file starts....") != std::wstring::npos) throw std::bad_alloc();
  };
  JobThread worker;
  int announced = 0;
  ASSERT_TRUE(OnSaveFiles(context_, worker, [&](const JobEnd& end) {
    ++announced;
    EXPECT_FALSE(end.completed);
  }));
  worker.Join();
  EXPECT_EQ(announced, 1);
  EXPECT_EQ(running_.load(), 0);
  EXPECT_FALSE(window_.shown[Control::kStop]);
  EXPECT_FALSE(window_.shown[Control::kTotalBar]);
  EXPECT_TRUE(window_.enabled[Control::kSaveFiles]);
  EXPECT_TRUE(window_.flags[ViewFlag::kSaveAllowed]);
  EXPECT_TRUE(window_.CallsStartingWith(L"MessageBox").empty());
}

TEST_F(SaveJobTest, TotalBarOfMoreFilesThanItsRangeHoldsEndsFull) {
  // 65,536 files, none repaired: a range cast to 16 bits would be 0.
  window_.quiet = true;
  for (int i = 0; i < 65536; ++i) window_.AddFile(L"f" + std::to_wstring(i) + L".ods");
  ASSERT_EQ(Save(), 1u);
  EXPECT_EQ(window_.bars[Bar::kTotal].upper, 65535);
  EXPECT_EQ(window_.bars[Bar::kTotal].position, 65535);
  EXPECT_EQ(window_.bars[Bar::kTotal].highest, 65535);
}

// A file that held two documents: saving it writes both packages, the second named to sort
// right after the first, each with its own log lines.
TEST_F(SaveJobTest, AFileOfTwoDocumentsIsSavedAsTwoPackages) {
  const auto package = [](const std::string& cells) {
    return std::vector<ZipPart>{
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
        {"content.xml", TinyContentXml(cells), true, true},
        {"META-INF/manifest.xml", "<manifest:manifest/>", true, true},
    };
  };
  Bytes joined = MakeZip(package("first"));
  const Bytes second = MakeZip(package("second"));
  joined.insert(joined.end(), second.begin(), second.end());
  const std::wstring path = scratch_.Path(L"Joined.ods");
  ASSERT_TRUE(WriteBytes(path, joined));
  window_.AddFile(path);
  Repair();
  Save();
  EXPECT_FALSE(ReadBytes(Join(out_, L"VONDRELREP_Joined.ods")).empty());
  EXPECT_FALSE(ReadBytes(Join(out_, L"VONDRELREP_Joined.ods~2.ods")).empty());
  EXPECT_EQ(LinesOf(path),
            (std::vector<std::wstring>{
                L" saving of file starts....\r\n",
                L" package written: " + Join(out_, L"VONDRELREP_Joined.ods") + L"....\r\n",
                L" saving of file done....\r\n", L" (document 2) saving of file starts....\r\n",
                L" (document 2) package written: " + Join(out_, L"VONDRELREP_Joined.ods~2.ods") +
                    L"....\r\n",
                L" (document 2) saving of file done....\r\n"}));
}

// Two listed files of one name from two folders: neither replaces the other's package or
// pictures, and the log names each package.
TEST_F(SaveJobTest, TwoFilesOfTheSameNameGetPackagesAndMediaFoldersOfTheirOwn) {
  const auto parts = [](const std::string& which) {
    return std::vector<ZipPart>{
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
        {"content.xml", TinyContentXml(which), true},
        {"Pictures/p.png", "png " + which, true},
    };
  };
  scratch_.MakeFolder(L"A");
  scratch_.MakeFolder(L"B");
  const std::wstring a = Package(L"A/report.ods", parts("a"));
  const std::wstring b = Package(L"B/report.ods", parts("b"));
  window_.AddFile(a);
  window_.AddFile(b);
  Repair();
  window_.media_checked = 1;
  ASSERT_EQ(Save(), 1u);
  const std::wstring first = Join(out_, L"VONDRELREP_report.ods");
  const std::wstring second = Join(out_, L"VONDRELREP_report (2).ods");
  EXPECT_EQ(LinesOf(a)[1], L" package written: " + first + L"....\r\n");
  EXPECT_EQ(LinesOf(b)[1], L" package written: " + second + L"....\r\n");
  // Read back through the scanner: each package holds its own file's sheet.
  RecordingWindow again;
  again.AddFile(first);
  again.AddFile(second);
  JobRunning running{0};
  SetWorkingFolderOverride(scratch_.Path(L"again"));
  RunRepairJob({&running, &again});
  EXPECT_EQ(ReadBytes(scratch_.Path(L"again/VONDRELREP_report.ods0/content.xml")),
            ToBytes(TinyContentXml("a")));
  EXPECT_EQ(ReadBytes(scratch_.Path(L"again/VONDRELREP_report (2).ods1/content.xml")),
            ToBytes(TinyContentXml("b")));
  EXPECT_EQ(ReadBytes(Join(out_, L"report.ods_MediaContent" + kSep + L"p.png")), ToBytes("png a"));
  EXPECT_EQ(ReadBytes(Join(out_, L"report (2).ods_MediaContent" + kSep + L"p.png")),
            ToBytes("png b"));
  ASSERT_EQ(saves_.saves.size(), 2u);
  EXPECT_EQ(saves_.saves[0].packages, std::vector<std::wstring>{first});
  EXPECT_EQ(saves_.saves[1].packages, std::vector<std::wstring>{second});
  EXPECT_TRUE(
      window_.CallsStartingWith(L"MessageBox view " + std::to_wstring(kMbReplaceQuestion)).empty());
}

// A package that was there before the run: the window is asked, and only Yes replaces it;
// anything else keeps it and saves the file under the next free name, pictures included.
TEST_F(SaveJobTest, APackageThereBeforeTheRunIsReplacedOnlyWhenTheWindowSaysSo) {
  const std::wstring a = Package(L"a.ods", kWithPictures);
  window_.AddFile(a);
  Repair();
  window_.media_checked = 1;
  const struct {
    int answer;
    bool replaced;
  } cases[] = {{kIdYes, true}, {kIdNo, false}, {2 /* the box closed */, false}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    const std::wstring out = scratch_.MakeFolder(L"out" + std::to_wstring(n++));
    window_.destination = out;
    const std::wstring earlier = Join(out, L"VONDRELREP_a.ods");
    ASSERT_TRUE(WriteText(earlier, "an earlier package"));
    window_.log.clear();
    window_.calls.clear();
    window_.answers = {c.answer};
    ASSERT_EQ(Save(), 1u);
    EXPECT_EQ(window_.CallsStartingWith(L"MessageBox view " + std::to_wstring(kMbReplaceQuestion)),
              (std::vector<std::wstring>{L"MessageBox view " + std::to_wstring(kMbReplaceQuestion) +
                                         L" " + earlier +
                                         L" already exists.<br>Do you want to replace it?"}));
    const std::wstring written = c.replaced ? earlier : Join(out, L"VONDRELREP_a (2).ods");
    const std::wstring media =
        Join(out, c.replaced ? L"a.ods_MediaContent" : L"a (2).ods_MediaContent");
    EXPECT_EQ(
        LinesOf(a),
        (std::vector<std::wstring>{
            c.replaced ? L" VONDRELREP_a.ods was there before this save and is replaced....\r\n"
                       : L" VONDRELREP_a.ods was there before this save and is kept: this "
                         L"file is saved as VONDRELREP_a (2).ods....\r\n",
            L" saving of file starts....\r\n", L" package written: " + written + L"....\r\n",
            L" Media extration is done....\r\n", L" saving of file done....\r\n"}));
    EXPECT_NE(ReadBytes(written), ToBytes("an earlier package"));
    EXPECT_EQ(ReadBytes(Join(media, L"a.png")), ToBytes("png bytes a"));
    if (!c.replaced) {
      EXPECT_EQ(ReadBytes(earlier), ToBytes("an earlier package"));
    }
    EXPECT_EQ(saves_.saves.back().packages, std::vector<std::wstring>{written});
    EXPECT_TRUE(saves_.saves.back().saved);
  }
}

// Two spreadsheets joined into one file, listed and repaired: two documents. Returns its path,
// or "" when it could not be written.
std::wstring SaveJobTest::AddJoinedAndRepair() {
  const auto package = [](const std::string& cells) {
    return MakeZip({
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
        {"content.xml", TinyContentXml(cells), true},
        {"META-INF/manifest.xml", "<manifest:manifest/>", true},
    });
  };
  Bytes joined = package("first");
  const Bytes second = package("second");
  joined.insert(joined.end(), second.begin(), second.end());
  const std::wstring path = scratch_.Path(L"Joined.ods");
  if (!WriteBytes(path, joined)) return L"";
  window_.AddFile(path);
  Repair();
  return path;
}

// The first document's package cannot be written (a folder in its way): the second is still
// written, and the file is reported not saved.
TEST_F(SaveJobTest, AFolderInTheWayOfTheFirstPackageStillLetsTheSecondDocumentBeSaved) {
  const std::wstring path = AddJoinedAndRepair();
  ASSERT_FALSE(path.empty());
  platform::MakeDirectory(Join(out_, L"VONDRELREP_Joined.ods"));
  ASSERT_EQ(Save(), 1u);
  const std::wstring further = Join(out_, L"VONDRELREP_Joined.ods~2.ods");
  EXPECT_EQ(LinesOf(path),
            (std::vector<std::wstring>{L" saving of file starts....\r\n", L" not saved....\r\n",
                                       L" (document 2) saving of file starts....\r\n",
                                       L" (document 2) package written: " + further + L"....\r\n",
                                       L" (document 2) saving of file done....\r\n"}));
  EXPECT_FALSE(ReadBytes(further).empty());
  ASSERT_EQ(saves_.saves.size(), 1u);
  EXPECT_FALSE(saves_.saves[0].saved);
  EXPECT_EQ(saves_.saves[0].packages, (std::vector<std::wstring>{L"", further}));
  EXPECT_EQ(window_.LogTexts()[window_.log.size() - 2],
            L"Saving processing completed: 0 saved, 1 not saved....\r\n");
  EXPECT_EQ(window_.CallsStartingWith(L"MessageBox view 48").size(), 1u);
}

// A document of which no sheet data came back gets no package (an empty spreadsheet is no
// repair), but its pictures are the user's: they are still copied out when asked.
TEST_F(SaveJobTest, LostDocumentsGetNoPackageButTheirPicturesAreCopiedOut) {
  const std::wstring a = Package(L"a.ods", kWithPictures);
  const std::wstring b = Package(L"b.ods", kNoPictures);
  window_.AddFile(a);
  window_.AddFile(b);
  Repair();
  for (FileItem& item : window_.files) {
    item.data = kItemLost;
    item.verdict = {Verdict::kLost, L"no sheet data came back", {Verdict::kLost}};
  }
  const std::wstring media = Join(out_, L"a.ods_MediaContent");
  for (int ticked : {0, 1}) {
    SCOPED_TRACE(ticked);
    window_.media_checked = ticked;
    window_.log.clear();
    saves_.saves.clear();
    ASSERT_EQ(Save(), 1u);
    EXPECT_EQ(LinesOf(a),
              std::vector<std::wstring>{
                  ticked ? L" no package written: no sheet data came back; its pictures are "
                           L"copied to " +
                               media + L"....\r\n"
                         : L" no package written: no sheet data came back....\r\n"});
    EXPECT_EQ(LinesOf(b),
              std::vector<std::wstring>{ticked ? L" no package written: no sheet data came back; "
                                                 L"it held no pictures....\r\n"
                                               : L" no package written: no sheet data came "
                                                 L"back....\r\n"});
    EXPECT_EQ(window_.log[0].colour, kRed);
    EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_a.ods")));
    EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_b.ods")));
    EXPECT_FALSE(platform::PathExists(Join(out_, L"b.ods_MediaContent")));
    EXPECT_EQ(platform::PathExists(Join(media, L"a.png")), ticked == 1);
    ASSERT_EQ(saves_.saves.size(), 2u);
    EXPECT_FALSE(saves_.saves[0].saved);
    EXPECT_EQ(saves_.saves[0].packages, std::vector<std::wstring>{L""});
  }
}

// One lost document of two: the other is saved, and the file counts as saved.
TEST_F(SaveJobTest, ALostDocumentBesideAWholeOneLeavesThatOneItsPackage) {
  const std::wstring path = AddJoinedAndRepair();
  ASSERT_FALSE(path.empty());
  window_.files[0].verdict = {Verdict::kLost, L"", {Verdict::kLost, Verdict::kComplete}};
  ASSERT_EQ(Save(), 1u);
  const std::wstring further = Join(out_, L"VONDRELREP_Joined.ods~2.ods");
  EXPECT_EQ(LinesOf(path),
            (std::vector<std::wstring>{L" no package written: no sheet data came back....\r\n",
                                       L" (document 2) saving of file starts....\r\n",
                                       L" (document 2) package written: " + further + L"....\r\n",
                                       L" (document 2) saving of file done....\r\n"}));
  EXPECT_FALSE(platform::PathExists(Join(out_, L"VONDRELREP_Joined.ods")));
  ASSERT_EQ(saves_.saves.size(), 1u);
  EXPECT_TRUE(saves_.saves[0].saved);
  EXPECT_EQ(saves_.saves[0].packages, (std::vector<std::wstring>{L"", further}));
}

// Pictures that cannot be copied out (here a file stands where the media folder goes) are
// reported in red, never as a file without media or as pictures copied, and the run does not
// end as a clean one; for a repaired file and for a lost one.
TEST_F(SaveJobTest, PicturesThatCannotBeCopiedOutAreReportedAsSuch) {
  const std::wstring a = Package(L"a.ods", kWithPictures);
  window_.AddFile(a);
  Repair();
  const std::wstring media = Join(out_, L"a.ods_MediaContent");
  ASSERT_TRUE(WriteText(media, "in the way"));
  window_.media_checked = 1;
  const std::wstring failed = L" pictures could not all be copied out: 0 of 2 copied to " + media;
  const std::wstring link = L"<a href='" + out_ + L"'>" + out_ + L"</a>";
  const struct {
    intptr_t data;
    std::vector<std::wstring> lines;  // the failure line is checked up to the system's text
    size_t failure_line;
    std::wstring box;
  } cases[] = {
      {kItemRepaired,
       {L" saving of file starts....\r\n",
        L" package written: " + Join(out_, L"VONDRELREP_a.ods") + L"....\r\n", failed,
        L" saving of file done....\r\n"},
       2,
       L"All 1 file(s) saved.<br>The pictures of 1 file(s) could not all be copied out (see the "
       L"log).<br>Saved file(s) location is:<br>" +
           link},
      {kItemLost,
       {L" no package written: no sheet data came back....\r\n", failed},
       1,
       L"0 of 1 file(s) saved; the rest were not saved (see the log).<br>The pictures of 1 "
       L"file(s) could not all be copied out (see the log).<br>Destination folder:<br>" +
           link},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    window_.files[0].data = c.data;
    window_.log.clear();
    window_.calls.clear();
    saves_.saves.clear();
    ASSERT_EQ(Save(), 1u);
    std::vector<std::wstring> lines = LinesOf(a);
    ASSERT_EQ(lines.size(), c.lines.size());
    EXPECT_EQ(window_.log[c.failure_line].colour, kRed);
    lines[c.failure_line] = lines[c.failure_line].substr(0, failed.size());
    EXPECT_EQ(lines, c.lines);
    ASSERT_EQ(saves_.saves.size(), 1u);
    EXPECT_TRUE(saves_.saves[0].media_failed);
    EXPECT_EQ(saves_.saves[0].saved, c.data == kItemRepaired);
    EXPECT_EQ(window_.CallsStartingWith(L"MessageBox view 48"),
              std::vector<std::wstring>{L"MessageBox view 48 " + c.box});
  }
}

// A destination on a read-only volume: nothing is saved, and nothing says it was.
TEST_F(SaveJobTest, AReadOnlyDestinationSavesNothingAndSaysSo) {
  SmallVolume volume(scratch_.Path(L"read-only"), 1 << 20, true);
  if (!volume.mounted()) GTEST_SKIP() << volume.why_not();
  const std::wstring a = Package(L"a.ods", kWithPictures);
  window_.AddFile(a);
  Repair();
  window_.destination = volume.path();
  window_.media_checked = 1;
  ASSERT_EQ(Save(), 1u);
  EXPECT_EQ(LinesOf(a),
            (std::vector<std::wstring>{L" saving of file starts....\r\n", L" not saved....\r\n"}));
  const auto lines = window_.LogTexts();
  EXPECT_EQ(lines[lines.size() - 2], L"Saving processing completed: 0 saved, 1 not saved....\r\n");
  EXPECT_EQ(window_.CallsStartingWith(L"MessageBox view"),
            (std::vector<std::wstring>{L"MessageBox view 48 0 of 1 file(s) saved; the rest were "
                                       L"not saved (see the log).<br>Destination folder:<br><a "
                                       L"href='" +
                                       volume.path() + L"'>" + volume.path() + L"</a>"}));
}

TEST(SaveNamesTest, EachListedFileGetsANameNoEarlierOneHas) {
  const std::wstring s(1, platform::kSeparator);
  EXPECT_EQ(
      SaveNames({L"A" + s + L"report.ods", L"B" + s + L"Report.ods", L"C" + s + L"report (2).ods",
                 L"D" + s + L"other.ods", L"E" + s + L"report.ods", L"F" + s + L"README"}),
      (std::vector<std::wstring>{L"report.ods", L"Report (2).ods", L"report (2) (2).ods",
                                 L"other.ods", L"report (3).ods", L"README"}));
  EXPECT_EQ(NumberedName(L"README", 2), L"README (2)");
  EXPECT_EQ(NumberedName(L".ods", 2), L".ods (2)");
  EXPECT_EQ(NumberedName(L"a.b.ods", 3), L"a.b (3).ods");
}

}  // namespace
}  // namespace velmora::test
