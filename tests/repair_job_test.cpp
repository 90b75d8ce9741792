#include "engine/job/repair_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>

#include "engine/job/job_texts.h"
#include "engine/job/working_folder.h"
#include "extraction_fixtures.h"
#include "platform/platform.h"
#include "support/job_runner.h"
#include "support/raw_deflate.h"
#include "support/recording_window.h"
#include "support/scratch.h"

namespace velmora::test {
namespace {

const std::wstring kSep(1, platform::kSeparator);

// A window that runs a hook on every log line, so a test can press Stop at an
// exact moment.
class HookedWindow : public RecordingWindow {
 public:
  std::function<void(const std::wstring&)> on_log;
  std::function<void(const RecoveredEntry&)> on_entry;
  void AppendLog(const std::wstring& text, uint32_t colour) override {
    RecordingWindow::AppendLog(text, colour);
    if (on_log) on_log(text);
  }
  void AppendEntry(const RecoveredEntry& entry) override {
    RecordingWindow::AppendEntry(entry);
    if (on_entry) on_entry(entry);
  }
};

class RepairJobTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWorkingFolderOverride(scratch_.Path(L"ClcTemp")); }
  void TearDown() override { SetWorkingFolderOverride(L""); }

  // Runs the whole job as the window would: handler, then the worker to its
  // end.
  void Run() { EXPECT_TRUE(RunRepairJob(context_).completed); }

  std::wstring Package(const std::wstring& name, const std::vector<ZipPart>& parts) {
    std::wstring path = scratch_.Path(name);
    EXPECT_TRUE(WriteBytes(path, MakeZip(parts)));
    return path;
  }
  std::wstring Work(const std::wstring& rest) { return scratch_.Path(L"ClcTemp" + kSep + rest); }

  ScratchFolder scratch_;
  HookedWindow window_;
  JobRunning running_{0};
  JobContext context_{&running_, &window_};
};

const std::vector<ZipPart> kSmallOds = {
    {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
    {"content.xml", TinyContentXml(), true, true},
    {"styles.xml", kTinyStylesXml, true},
    {"Thumbnails/thumbnail.png", "\x89PNG fake picture bytes", false},
};

TEST_F(RepairJobTest, EmptyListEndsWithClosingLinesAndControlsBack) {
  Run();
  EXPECT_EQ(
      window_.LogTexts(),
      (std::vector<std::wstring>{L"Repairing process completed: 0 repaired, 0 partly repaired, 0 "
                                 L"not repaired....\r\n",
                                 L"________________________________________________________________"
                                 L"\r\n\r\n"}));
  EXPECT_EQ(running_.load(), 0);
  EXPECT_EQ(window_.bars[Bar::kTotal].upper, 0);
  EXPECT_EQ(window_.bars[Bar::kTotal].position, 0);
  for (Control c :
       {Control::kSelectFiles, Control::kRemoveFiles, Control::kRepairFiles, Control::kSaveFiles,
        Control::kBrowse, Control::kExtractMedia, Control::kDestination})
    EXPECT_TRUE(window_.enabled[c]) << ControlName(c);
  for (Control c : {Control::kStop, Control::kFileBar, Control::kTotalBar, Control::kFileLabel,
                    Control::kTotalLabel})
    EXPECT_FALSE(window_.shown[c]) << ControlName(c);
  for (ViewFlag f : {ViewFlag::kSelectAllowed, ViewFlag::kRemoveRepairAllowed,
                     ViewFlag::kSaveAllowed, ViewFlag::kRepairRan})
    EXPECT_TRUE(window_.flags[f]) << FlagName(f);
  EXPECT_EQ(window_.help_bold, (std::vector<BoldRange>{{6, 22}, {62, 76}, {110, 118}, {127, 132}}));
  EXPECT_EQ(window_.help_text.substr(0, 22), L"Click item in the list");
  EXPECT_EQ(window_.relayouts, 2);
}

TEST_F(RepairJobTest, HandlerPreparesWindowBeforeTheWorkerRuns) {
  window_.AddFile(Package(L"a.ods", kSmallOds));
  Run();
  // The handler's calls come first, in this order: the running state of the step table, the
  // progress rows shown last so that the re-layout sees them.
  std::vector<std::wstring> expected = {
      L"SetFlag SelectAllowed 0",
      L"SetFlag RemoveRepairAllowed 0",
      L"SetFlag RepairRan 1",
      L"Disable Select",
      L"Disable Remove",
      L"Disable Repair",
      L"Enable Stop",
      L"Show Stop",
      L"ShowPreview 5 ",
      L"ShowPreview 2 ",
      L"SetLogText ",
      L"SetHelpText Please wait while .ods file(s) are Repairing.... [19,30)",
      L"SetBarPos File 0",
      L"SetBarPos Total 0",
      L"Show FileLabel",
      L"Show FileBar",
      L"Show TotalLabel",
      L"Show TotalBar",
      L"Relayout",
      L"ResetEstimate Total",
  };
  ASSERT_GE(window_.calls.size(), expected.size());
  EXPECT_EQ(
      std::vector<std::wstring>(window_.calls.begin(), window_.calls.begin() + expected.size()),
      expected);
}

TEST_F(RepairJobTest, RepairedFileGetsItsLinesImageDataAndFolder) {
  const std::wstring path = Package(L"Budget.ods", kSmallOds);
  window_.AddFile(path);
  Run();
  EXPECT_EQ(window_.LogTexts(),
            (std::vector<std::wstring>{
                path + L" file is open....\r\n", path + L" file is extracted....\r\n",
                path + L" file is closed....\r\n", path + L" preview of file is available....\r\n",
                path + L"  Repaired....\r\n",
                L"*******************************************************************"
                L"******************"
                L"\r\n",
                L"Repairing process completed: 1 repaired, 0 partly repaired, 0 not "
                L"repaired....\r\n",
                L"________________________________________________________________"
                L"\r\n\r\n"}));
  EXPECT_EQ(window_.log[4].colour, kGreen);
  EXPECT_EQ(window_.files[0].image, kImageRepaired);
  EXPECT_EQ(window_.files[0].data, 1);
  EXPECT_EQ(ReadBytes(Work(L"Budget.ods0" + kSep + L"content.xml")), ToBytes(TinyContentXml()));
  EXPECT_EQ(window_.files[0].verdict.verdict, Verdict::kComplete);
  EXPECT_EQ(window_.files[0].verdict.summary, L"Repaired: 1 sheet, 1 row....");
  EXPECT_TRUE(
      platform::PathExists(Work(L"Budget.ods0" + kSep + L"Thumbnails" + kSep + L"thumbnail.png")));
  EXPECT_EQ(window_.CallsStartingWith(L"SetBarPos Total"),
            (std::vector<std::wstring>{L"SetBarPos Total 0", L"SetBarPos Total 0",
                                       L"SetBarPos Total 1", L"SetBarPos Total 1"}));
}

// The system's text for opening a file that does not exist, as the log line quotes it: without
// the full stop at its end.
std::wstring MissingFileReason() {
  const std::wstring path = platform::TempFolder() + L"velmora-no-such-file.ods";
  platform::RemoveFile(path);
  platform::File probe = platform::File::OpenRead(path, platform::Sharing::kNone);
  std::wstring text = platform::SystemErrorText(platform::LastError());
  while (!text.empty() && (text.back() == L'.' || text.back() == L' ')) text.pop_back();
  return text;
}

TEST_F(RepairJobTest, FilesThatYieldNothingAreNotRepaired) {
  struct Case {
    const char* what;
    bool exists;
    std::string bytes;
    int image;
    intptr_t data;
    std::vector<std::wstring> tail;  // log lines after the path, in order
    size_t boxes;
  };
  const std::wstring stars =
      L"************************************************"
      L"*************************************\r\n";
  const std::vector<Case> cases = {
      {"missing file is named in red with the system's reason, and no box holds the batch",
       false,
       "",
       kImageNotRepaired,
       0,
       {L" extraction of file failed: " + MissingFileReason() + L"....\r\n"},
       0},
      {"text file without a header",
       true,
       "just some text, no package here",
       kImageNotRepaired,
       0,
       {L" file is open....\r\n", L" file is extracted....\r\n", L" file is closed....\r\n",
        L" not Repaired....\r\n"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingWindow window;
    JobContext context{&running_, &window};
    const std::wstring path = scratch_.Path(L"x.ods");
    platform::RemoveFile(path);
    if (c.exists) WriteText(path, c.bytes);
    window.AddFile(path);
    RunRepairJob(context);
    std::vector<std::wstring> lines = window.LogTexts();
    ASSERT_GE(lines.size(), c.tail.size());
    for (size_t i = 0; i < c.tail.size(); ++i) EXPECT_EQ(lines[i], path + c.tail[i]);
    if (c.image == kImageNotRepaired) {
      EXPECT_EQ(window.log[c.tail.size() - 1].colour, kRed);
      EXPECT_EQ(lines[c.tail.size()], stars);
    }
    EXPECT_EQ(window.files[0].image, c.image);
    EXPECT_EQ(window.files[0].data, c.data);
    EXPECT_EQ(window.boxes.size(), c.boxes);
    EXPECT_EQ(window.bars[Bar::kTotal].position, 1);
  }
}

// Not one file came out (entries that were all found but all failed leave at most empty
// folders): " not Repaired....". A lone picture below a folder came out, but no sheet data: it
// is lost (its pictures are still copied out), not repaired.
TEST_F(RepairJobTest, RepairedOnlyWhenAFileCameOutAtAnyDepth) {
  // Deflated entries whose data is no DEFLATE stream: the first byte starts a block of the
  // reserved type, so every one fails to inflate.
  auto broken = [](std::vector<ZipPart> parts) {
    Bytes zip = MakeZip(parts);
    size_t at = 0;
    for (const ZipPart& part : parts) {
      const size_t data = at + 30 + part.name.size();
      const size_t size = test::RawDeflate(part.data).size();
      for (size_t i = 0; i < size; ++i) zip[data + i] = 0xFF;
      at = data + size;
    }
    return zip;
  };
  struct Case {
    const char* what;
    Bytes zip;
    int image;
    intptr_t data;
  };
  const Case cases[] = {
      {"every entry found, none extracts",
       broken({{"Pictures/a.png", "picture bytes a", true}, {"b.bin", "bytes of b", true}}),
       kImageNotRepaired, 0},
      {"the only file sits in a sub-folder",
       MakeZip({{"Pictures/a.png", "picture bytes a", false}}), kImageNotRepaired, kItemLost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingWindow window;
    JobContext context{&running_, &window};
    const std::wstring path = scratch_.Path(L"x.ods");
    ASSERT_TRUE(WriteBytes(path, c.zip));
    window.AddFile(path);
    RunRepairJob(context);
    EXPECT_EQ(window.files[0].image, c.image);
    EXPECT_EQ(window.files[0].data, c.data);
    const std::wstring last =
        c.data == kItemLost
            ? L"  Not repaired: no sheet data came back (content.xml is missing)....\r\n"
            : L" not Repaired....\r\n";
    const std::vector<std::wstring> lines = window.LogTexts();
    EXPECT_NE(std::find(lines.begin(), lines.end(), path + last), lines.end());
    if (c.data == kItemLost) {
      EXPECT_EQ(ReadBytes(Work(L"x.ods0" + kSep + L"Pictures" + kSep + L"a.png")),
                ToBytes("picture bytes a"));
    }
  }
}

TEST_F(RepairJobTest, SameFileListedTwiceGetsTwoFolders) {
  const std::wstring path = Package(L"a.ods", kSmallOds);
  window_.AddFile(path);
  window_.AddFile(path);
  Run();
  EXPECT_TRUE(platform::PathExists(Work(L"a.ods0" + kSep + L"content.xml")));
  EXPECT_TRUE(platform::PathExists(Work(L"a.ods1" + kSep + L"content.xml")));
  EXPECT_EQ(window_.files[0].data, 1);
  EXPECT_EQ(window_.files[1].data, 1);
}

TEST_F(RepairJobTest, StopDuringTheSecondScanKeepsWhatWasFoundAndSkipsTheRest) {
  const std::wstring a = Package(L"a.ods", kSmallOds);
  const std::wstring b = Package(L"b.ods", kSmallOds);
  const std::wstring c = Package(L"c.ods", kSmallOds);
  for (const auto& p : {a, b, c}) window_.AddFile(p);
  int entries_of_b = 0;
  window_.on_log = [&](const std::wstring& text) {
    if (text == b + L" file is open....\r\n")
      entries_of_b = static_cast<int>(window_.entries.size()) + 1;
  };
  // Stop as soon as the second file's first entry is found.
  window_.on_entry = [&](const RecoveredEntry&) {
    if (entries_of_b) running_.store(0);
  };
  Run();
  EXPECT_EQ(window_.files[0].data, 1);
  // Extracted with the one entry found before the stop, the mimetype: no sheet data, so no
  // package for it.
  EXPECT_EQ(window_.files[1].data, kItemLost);
  EXPECT_EQ(window_.files[1].image, kImageNotRepaired);
  EXPECT_TRUE(platform::PathExists(Work(L"b.ods1" + kSep + L"mimetype")));
  EXPECT_FALSE(platform::PathExists(Work(L"b.ods1" + kSep + L"content.xml")));
  EXPECT_EQ(window_.files[2].data, 0);
  EXPECT_EQ(window_.files[2].image, kImageNotRepaired);
  const auto lines = window_.LogTexts();
  const std::vector<std::wstring> tail = {
      c + L" file is not extracting as process has been stop by the user.... "
          L"\r\n",
      c + L" not Repaired....\r\n",
      L"***********************************************************************"
      L"**************\r\n",
      L"Repairing process completed: 1 repaired, 0 partly repaired, 2 not repaired....\r\n",
      L"________________________________________________________________"
      L"\r\n\r\n"};
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(std::vector<std::wstring>(lines.end() - tail.size(), lines.end()), tail);
  EXPECT_EQ(
      window_.CallsStartingWith(L"SetBarPos Total"),
      (std::vector<std::wstring>{L"SetBarPos Total 0", L"SetBarPos Total 0", L"SetBarPos Total 1",
                                 L"SetBarPos Total 2", L"SetBarPos Total 3"}));
}

// A job told to handle one list position (several files side by side, each in a window of its
// own) handles it as in a run of the whole list and leaves every other item alone.
TEST_F(RepairJobTest, OnlyFileHandlesThatPositionAlone) {
  const std::wstring a = Package(L"a.ods", kSmallOds);
  const std::wstring b = Package(L"b.ods", kSmallOds);
  for (const bool stopped : {false, true}) {
    SCOPED_TRACE(stopped ? "stopped" : "running");
    DeleteFolderTree(scratch_.Path(L"ClcTemp"));
    RecordingWindow window;
    for (const auto& p : {a, b, a}) window.AddFile(p);
    JobContext context{&running_, &window, nullptr, 1};
    running_.store(stopped ? 0 : 1);
    RepairWorker(context);
    for (const auto& line : window.LogTexts()) {
      EXPECT_EQ(line.find(a), std::wstring::npos) << line;
    }
    EXPECT_EQ(window.files[0].image, kImageAdded);
    EXPECT_EQ(window.files[2].image, kImageAdded);
    EXPECT_EQ(window.files[1].data, stopped ? 0 : 1);
    EXPECT_EQ(window.files[1].image, stopped ? kImageNotRepaired : kImageRepaired);
    const std::vector<std::wstring> first = {
        stopped ? b + L" file is not extracting as process has been stop by the user.... \r\n"
                : b + L" file is open....\r\n"};
    EXPECT_EQ(window.LogTexts().front(), first.front());
    EXPECT_EQ(window.LogTexts().back(), std::wstring(kUnderscoreLine));
    EXPECT_FALSE(platform::PathExists(Work(L"a.ods0")));
    EXPECT_FALSE(platform::PathExists(Work(L"a.ods2")));
    EXPECT_EQ(platform::PathExists(Work(L"b.ods1" + kSep + L"content.xml")), !stopped);
  }
}

TEST_F(RepairJobTest, StopAnsweredNoChangesNothingYesClearsTheFlag) {
  running_.store(1);
  window_.answers = {7};
  OnStop(context_);
  EXPECT_EQ(running_.load(), 1);
  window_.answers = {kIdYes};
  OnStop(context_);
  EXPECT_EQ(running_.load(), 0);
  EXPECT_FALSE(window_.enabled[Control::kStop]);
  EXPECT_EQ(window_.CallsStartingWith(L"MessageBox"),
            (std::vector<std::wstring>(2,
                                       L"MessageBox none 36 Are you sure to stop the running "
                                       L"process?")));
}

TEST_F(RepairJobTest, SecondRunStartsFromAnEmptyWorkingFolder) {
  const std::wstring path = Package(L"a.ods", kSmallOds);
  window_.AddFile(path);
  Run();
  WriteText(Work(L"left-over.txt"), "old");
  platform::RemoveFile(path);
  Run();
  EXPECT_FALSE(platform::PathExists(Work(L"left-over.txt")));
  EXPECT_FALSE(platform::PathExists(Work(L"a.ods0")));
  // The file no longer opens: its folder of the first run is gone with the rest, so the item
  // is marked not repaired rather than keeping a mark nothing backs any more.
  EXPECT_EQ(window_.files[0].data, 0);
  EXPECT_EQ(window_.files[0].image, kImageNotRepaired);
}

// The inflated entries of every file of a run share one temporary file, which goes with the run.
TEST_F(RepairJobTest, OneTemporaryFileServesTheWholeRunAndGoesWithIt) {
  const std::wstring temp = scratch_.Path(L"temp");
  platform::MakeDirectory(temp);
  extraction_test::TempFolderRedirect redirect(temp);
  const std::wstring second = Package(L"b.ods", kSmallOds);
  window_.AddFile(Package(L"a.ods", kSmallOds));
  window_.AddFile(second);
  std::vector<std::wstring> while_second;
  window_.on_log = [&](const std::wstring& text) {
    if (text == second + L" file is open....\r\n") while_second = extraction_test::Names(temp);
  };
  Run();
  ASSERT_EQ(while_second.size(), 1u);
  EXPECT_EQ(while_second[0].substr(0, 3), L"OPC");
  EXPECT_TRUE(extraction_test::Names(temp).empty());
  EXPECT_EQ(window_.files[1].data, 1);
}

TEST_F(RepairJobTest, AWorkerThatThrowsIsJoinedAnnouncesItsEndAndGivesTheWindowBack) {
  window_.AddFile(Package(L"a.ods", kSmallOds));
  window_.AddFile(Package(L"b.ods", kSmallOds));
  window_.on_log = [](const std::wstring& text) {
    if (text.find(L" file is open....") != std::wstring::npos) throw std::bad_alloc();
  };
  JobThread worker;
  int announced = 0;
  JobEnd end;
  ASSERT_TRUE(OnRepairFiles(context_, worker, [&](const JobEnd& e) {
    ++announced;
    end = e;
  }));
  worker.Join();
  EXPECT_EQ(announced, 1);
  EXPECT_FALSE(end.completed);
  EXPECT_FALSE(worker.Joinable());
  // Not stuck in the running state: the program can be closed and a new run started.
  EXPECT_EQ(running_.load(), 0);
  EXPECT_FALSE(window_.shown[Control::kStop]);
  EXPECT_FALSE(window_.shown[Control::kTotalBar]);
  EXPECT_TRUE(window_.enabled[Control::kSelectFiles]);
  EXPECT_TRUE(window_.enabled[Control::kRepairFiles]);
  EXPECT_TRUE(window_.flags[ViewFlag::kSelectAllowed]);
  window_.on_log = nullptr;
  Run();
  EXPECT_EQ(window_.files[1].data, 1);
}

TEST_F(RepairJobTest, AWorkersBoxWithoutOwnerHoldsOnlyTheWorker) {
  // The first file needs a folder where one of its own files stands: the message box of the
  // folder that cannot be made stays open on the worker while this thread, in the part of the
  // user-interface thread, asks to stop. The stop goes through at once; when the box closes
  // the worker skips the rest.
  const std::wstring good = Package(L"good.ods", kSmallOds);
  window_.AddFile(Package(L"clash.ods", {{"x", "file", false}, {"x/y/z", "below", false}}));
  window_.AddFile(good);
  std::mutex mutex;
  std::condition_variable changed;
  bool box_open = false;
  bool stopped = false;
  std::thread::id box_thread;
  window_.on_box = [&](BoxOwner owner, const std::wstring& text) {
    if (text == L"Are you sure to stop the running process?") return kIdYes;
    EXPECT_EQ(owner, BoxOwner::kNone);
    std::unique_lock lock(mutex);
    box_thread = std::this_thread::get_id();
    box_open = true;
    changed.notify_all();
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return stopped; }));
    return 1;
  };
  JobThread worker;
  ASSERT_TRUE(OnRepairFiles(context_, worker));
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return box_open; }));
  }
  OnStop(context_);
  EXPECT_EQ(running_.load(), 0);
  EXPECT_FALSE(window_.enabled[Control::kStop]);
  {
    std::lock_guard lock(mutex);
    stopped = true;
    changed.notify_all();
  }
  worker.Join();
  EXPECT_NE(box_thread, std::this_thread::get_id());
  const auto lines = window_.LogTexts();
  EXPECT_NE(
      std::find(lines.begin(), lines.end(),
                good + L" file is not extracting as process has been stop by the user.... \r\n"),
      lines.end());
  EXPECT_EQ(window_.files[1].image, kImageNotRepaired);
}

// Two packages back to back (an older copy's bytes left behind a newer one): each comes back
// in a folder of its own, so that the later one's parts do not overwrite the earlier one's.
TEST_F(RepairJobTest, TwoPackagesJoinedComeBackApart) {
  const auto package = [](const std::string& cells) {
    return std::vector<ZipPart>{
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
        {"content.xml", TinyContentXml(cells), true, true},
        {"styles.xml", kTinyStylesXml, true},
        {"META-INF/manifest.xml", "<manifest:manifest/>", true, true},
    };
  };
  Bytes joined = MakeZip(package("first"));
  const Bytes second = MakeZip(package("second"));
  joined.insert(joined.end(), second.begin(), second.end());
  const std::wstring path = scratch_.Path(L"Joined.ods");
  ASSERT_TRUE(WriteBytes(path, joined));
  window_.AddFile(path);
  Run();
  EXPECT_EQ(ReadBytes(Work(L"Joined.ods0" + kSep + L"content.xml")),
            ToBytes(TinyContentXml("first")));
  EXPECT_EQ(ReadBytes(Work(L"Joined.ods0~2" + kSep + L"content.xml")),
            ToBytes(TinyContentXml("second")));
  const std::vector<std::wstring> log = window_.LogTexts();
  ASSERT_GE(log.size(), 7u);
  EXPECT_EQ(log[4], path + L"  Repaired....\r\n");
  EXPECT_EQ(log[5], path +
                        L" held 2 documents: each is repaired and saved as a package of its "
                        L"own....\r\n");
  EXPECT_EQ(window_.files[0].data, 1);
}

}  // namespace
}  // namespace velmora::test
