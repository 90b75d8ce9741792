// Runs the `velmora` executable as a user would and checks exit status, output
// and files.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/command.h"
#include "support/scratch.h"

namespace velmora::test {
namespace {

using RunResult = CommandResult;

// Runs velmora with the arguments (already shell-quoted), TMPDIR pointed at
// `tmp`.
RunResult RunCli(const std::string& args, const std::wstring& tmp) {
  return RunCommand("TMPDIR=" + QuotedPath(tmp) + " '" VELMORA_CLI_PATH "' " + args + " 2>&1");
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::MakeDirectory(tmp_);
    good_ = scratch_.Path(L"good.ods");
    WriteBytes(good_,
               MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                        {"content.xml", TinyContentXml(), true, true},
                        {"styles.xml", kTinyStylesXml, true},
                        {"Pictures/p.png", "png", true}}));
  }
  // True when the private temporary folder holds nothing.
  bool TmpIsEmpty() {
    bool empty = true;
    platform::ListDirectory(tmp_, [&](const platform::DirItem&) { return empty = false; });
    return empty;
  }
  ScratchFolder scratch_;
  std::wstring tmp_ = scratch_.Path(L"tmp");
  std::wstring good_;
};

TEST_F(CliTest, WrongCommandLinesSayWhatIsWrongAndPointToTheHelp) {
  const struct {
    const char* args;
    const char* complaint;  // the first line
  } cases[] = {
      {"", "velmora: no command given"},
      {"frobnicate x.ods", "velmora: unknown command 'frobnicate'"},
      {"repair x.ods", "velmora: repair needs --out DEST"},
      {"repair --out d", "velmora: no FILE given"},
      {"extract --out d x.ods", "velmora: unknown option '--out' for extract"},
      {"repair x.ods --out d --bogus", "velmora: unknown option '--bogus' for repair"},
      {"extract x.ods --into", "velmora: --into needs a folder"},
      {"repair x.ods --out d --jobs", "velmora: --jobs needs a number"},
      {"repair x.ods --out d --jobs 0", "velmora: --jobs needs a number from 1 to 256, not '0'"},
      {"extract x.ods --jobs 2x", "velmora: --jobs needs a number from 1 to 256, not '2x'"},
      {"extract x.ods --jobs 257", "velmora: --jobs needs a number from 1 to 256, not '257'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    RunResult r = RunCli(c.args, tmp_);
    EXPECT_EQ(r.status, 2);
    // One line saying what is wrong, one pointing to --help; the whole help only on demand.
    EXPECT_EQ(r.out, std::string(c.complaint) + "\nTry 'velmora --help' for more information.\n");
  }
  RunResult help = RunCli("--help", tmp_);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("velmora repair FILE... --out DEST"), std::string::npos);
  EXPECT_NE(help.out.find("--jobs N"), std::string::npos);
  // The verdicts and the exit status of each.
  EXPECT_NE(help.out.find("\"Partly repaired: ...\""), std::string::npos);
  EXPECT_NE(help.out.find("Exit status: 0 when every file came back complete"), std::string::npos);
  EXPECT_NE(help.out.find("; 3 when every file came back with sheet data"), std::string::npos);
  EXPECT_NE(help.out.find("--overwrite"), std::string::npos);
}

TEST_F(CliTest, RepairWritesThePackageAndMediaAndCleansUp) {
  const std::wstring out = scratch_.Path(L"out");
  RunResult r = RunCli("repair " + QuotedPath(good_) + " --out " + QuotedPath(out), tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) + "  Repaired...."), std::string::npos);
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) + " saving of file done...."),
            std::string::npos);
  EXPECT_FALSE(ReadBytes(out + L"/VONDRELREP_good.ods").empty());
  EXPECT_EQ(ReadBytes(out + L"/good.ods_MediaContent/p.png"), ToBytes("png"));
  EXPECT_TRUE(TmpIsEmpty()) << "the private working folder must be gone";
}

TEST_F(CliTest, RepairExitsWithOneWhenAnyFileFailsButSavesTheOthers) {
  const std::wstring out = scratch_.Path(L"out");
  RunResult r = RunCli("repair " + QuotedPath(scratch_.Path(L"missing.ods")) + " " +
                           QuotedPath(good_) + " --out " + QuotedPath(out) + " --no-media",
                       tmp_);
  EXPECT_EQ(r.status, 1) << r.out;
  // The log line names the file and gives the system's reason.
  EXPECT_NE(r.out.find(platform::NarrowPath(scratch_.Path(L"missing.ods")) +
                       " extraction of file failed: No such file or directory...."),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Saved file(s) location is:"), std::string::npos);
  EXPECT_FALSE(ReadBytes(out + L"/VONDRELREP_good.ods").empty());
  EXPECT_FALSE(platform::PathExists(out + L"/good.ods_MediaContent"));
  EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(CliTest, NoSavedLocationWhenNothingWasSaved) {
  const std::wstring out = scratch_.Path(L"out");
  const std::wstring missing = scratch_.Path(L"missing.ods");
  RunResult r = RunCli("repair " + QuotedPath(missing) + " --out " + QuotedPath(out), tmp_);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find(" cannot be saved,as it is not Repaired."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Saving processing completed: 0 saved, 1 not saved....\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Saved file(s) location"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("File(s) saving process has been completed."), std::string::npos);
}

// Files handled side by side print exactly what one at a time prints: each file's lines
// together, the files in the order given, the closing lines once.
TEST_F(CliTest, JobsChangeNothingInTheOutputOrTheResults) {
  const std::wstring bad = scratch_.Path(L"bad.ods");
  WriteBytes(bad, ToBytes("not a package at all"));
  std::string files;
  for (int i = 0; i < 7; ++i) {
    const std::wstring copy = scratch_.Path(L"f" + std::to_wstring(i) + L".ods");
    WriteBytes(copy, ReadBytes(i % 3 == 1 ? bad : good_));
    files += QuotedPath(copy) + " ";
  }
  files += QuotedPath(scratch_.Path(L"missing.ods")) + " " + QuotedPath(good_);
  std::string outputs[3];
  std::string reports[3];
  const char* jobs[] = {"1", "3", "8"};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(jobs[k]);
    const std::wstring out = scratch_.Path(L"out" + std::to_wstring(k));
    const std::wstring report = scratch_.Path(L"report" + std::to_wstring(k) + L".json");
    // One working folder for all three runs, so that the report's paths match too.
    RunResult r = RunCli("repair " + files + " --out " + QuotedPath(out) + " --jobs " + jobs[k] +
                             " --report " + QuotedPath(report) + " --work " +
                             QuotedPath(scratch_.Path(L"work")),
                         tmp_);
    EXPECT_EQ(r.status, 1) << r.out;
    // The destination differs by run (in the log and in the packages the report names);
    // everything else must not.
    const std::string dest = platform::NarrowPath(out);
    const auto without_dest = [&dest](std::string text) {
      for (size_t at = text.find(dest); at != std::string::npos; at = text.find(dest, at)) {
        text.replace(at, dest.size(), "DEST");
      }
      return text;
    };
    outputs[k] = without_dest(r.out);
    const Bytes report_bytes = ReadBytes(report);
    reports[k] = without_dest(std::string(report_bytes.begin(), report_bytes.end()));
    EXPECT_FALSE(ReadBytes(out + L"/VONDRELREP_f0.ods").empty());
    EXPECT_FALSE(ReadBytes(out + L"/VONDRELREP_good.ods").empty());
    EXPECT_FALSE(platform::PathExists(out + L"/VONDRELREP_f1.ods"));
    EXPECT_FALSE(reports[k].empty());
    EXPECT_EQ(reports[k], reports[0]);
    EXPECT_FALSE(platform::PathExists(scratch_.Path(L"work/ClcTemp")));
  }
  EXPECT_EQ(outputs[1], outputs[0]);
  EXPECT_EQ(outputs[2], outputs[0]);
  // Each file's block is whole and in list order.
  size_t at = 0;
  for (int i = 0; i < 7; ++i) {
    const std::string path =
        platform::NarrowPath(scratch_.Path(L"f" + std::to_wstring(i) + L".ods"));
    const size_t open = outputs[0].find(path + " file is open....", at);
    ASSERT_NE(open, std::string::npos) << i;
    const size_t stars = outputs[0].find("*****", open);
    EXPECT_EQ(outputs[0].substr(open, stars - open).find("/f" + std::to_string(i + 1) + ".ods"),
              std::string::npos);
    at = stars;
  }
  // Counted over the whole list, once: f0, f2, f3, f5, f6 and good came back whole; f1 and f4
  // hold no package; missing.ods did not open.
  EXPECT_EQ(outputs[0].find("Repairing process completed:"),
            outputs[0].rfind("Repairing process completed:"));
  EXPECT_NE(outputs[0].find("\nRepairing process completed: 6 repaired, 0 partly repaired, 3 not "
                            "repaired....\n"),
            std::string::npos)
      << outputs[0];
  EXPECT_EQ(outputs[0].find("Saved file(s) location is:"),
            outputs[0].rfind("Saved file(s) location is:"));
}

TEST_F(CliTest, KeepWorkLeavesTheWorkingFolderWhereAsked) {
  const std::wstring work = scratch_.Path(L"work");
  RunResult r =
      RunCli("repair " + QuotedPath(good_) + " --out " + QuotedPath(scratch_.Path(L"out")) +
                 " --work " + QuotedPath(work) + " --keep-work",
             tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadBytes(work + L"/ClcTemp/good.ods0/content.xml"), ToBytes(TinyContentXml()));
}

TEST_F(CliTest, ExtractFillsTheFolderLayout) {
  const std::wstring into = scratch_.Path(L"into");
  RunResult r = RunCli(
      "extract " + QuotedPath(good_) + " " + QuotedPath(good_) + " --into " + QuotedPath(into),
      tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadBytes(into + L"/good.ods0/content.xml"), ToBytes(TinyContentXml()));
  EXPECT_EQ(ReadBytes(into + L"/good.ods1/Pictures/p.png"), ToBytes("png"));
  RunResult missing = RunCli(
      "extract " + QuotedPath(scratch_.Path(L"nope.ods")) + " --into " + QuotedPath(into), tmp_);
  EXPECT_EQ(missing.status, 1);
}

// The exit status tells the verdicts apart: 0 all complete (and saved), 3 all with sheet data but
// some only in part, 1 any not repaired or not saved; `extract` the same without saving.
TEST_F(CliTest, ExitStatusFollowsTheVerdicts) {
  const std::wstring partial = scratch_.Path(L"partial.ods");
  WriteBytes(partial,
             MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                      {"content.xml", TinyContentXml(), true, true}}));
  const std::wstring lost = scratch_.Path(L"lost.ods");
  WriteBytes(lost, MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                            {"styles.xml", kTinyStylesXml, true},
                            {"Pictures/p.png", "png", true}}));
  const std::wstring text = scratch_.Path(L"text.ods");
  WriteBytes(text, ToBytes("a text file, no package"));
  const struct {
    const char* what;
    std::vector<std::wstring> files;
    int repair;
    int extract;
  } cases[] = {
      {"complete", {good_}, 0, 0},
      {"complete and partial", {good_, partial}, 3, 3},
      {"lost: no package", {good_, lost}, 1, 1},
      {"nothing in it", {good_, text}, 1, 1},
  };
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string files;
    for (const std::wstring& f : c.files) files += QuotedPath(f) + " ";
    const std::wstring out = scratch_.Path(L"out" + std::to_wstring(run++));
    const RunResult repair = RunCli("repair " + files + "--out " + QuotedPath(out), tmp_);
    EXPECT_EQ(repair.status, c.repair) << repair.out;
    const RunResult extract = RunCli("extract " + files + "--into " + QuotedPath(out + L"x"), tmp_);
    EXPECT_EQ(extract.status, c.extract) << extract.out;
  }
  const RunResult partly = RunCli("extract " + QuotedPath(partial), tmp_);
  EXPECT_NE(partly.out.find(platform::NarrowPath(partial) +
                            "  Partly repaired: 1 sheet, 1 row; styles.xml is missing....\n"),
            std::string::npos)
      << partly.out;
}

// The report's version 2: the verdict of every document with its sheets, and the run's summary.
TEST_F(CliTest, ReportTellsTheVerdictOfEveryDocument) {
  const std::wstring lost = scratch_.Path(L"lost.ods");
  WriteBytes(lost, MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                            {"styles.xml", kTinyStylesXml, true}}));
  const std::wstring report = scratch_.Path(L"r.json");
  const RunResult r =
      RunCli("repair " + QuotedPath(good_) + " " + QuotedPath(lost) + " --out " +
                 QuotedPath(scratch_.Path(L"out")) + " --report " + QuotedPath(report),
             tmp_);
  EXPECT_EQ(r.status, 1) << r.out;
  const Bytes bytes = ReadBytes(report);
  const std::string json(bytes.begin(), bytes.end());
  const std::string package =
      "\"" + platform::NarrowPath(scratch_.Path(L"out")) + "/VONDRELREP_good.ods\"";
  for (const std::string& part : std::vector<std::string>{
           "\"version\": 2",
           "\"summary\": {\"files\": 2, \"complete\": 1, \"partial\": 0, \"lost\": 1, "
           "\"not_repaired\": 0, \"saved\": 1, \"not_saved\": 1}",
           "\"verdict\": \"complete\", \"summary\": \"Repaired: 1 sheet, 1 row....\", "
           "\"saved\": true",
           "{\"verdict\": \"complete\", \"reason\": \"\", \"package\": " + package +
               ",\n         "
               "\"sheets\": [{\"name\": \"Sheet1\", \"rows\": 1, \"cells\": 1, \"cut\": false}],\n"
               "         \"pictures\": {\"referenced\": 0, \"recovered\": 0}, \"parts_lost\": "
               "[\"META-INF/manifest.xml\"]",
           "\"verdict\": \"lost\", \"summary\": \"Not repaired: no sheet data came back "
           "(content.xml is missing)....\", \"saved\": false",
           "{\"verdict\": \"lost\", \"reason\": \"no sheet data came back (content.xml is "
           "missing)\", \"package\": null,\n         \"sheets\": []",
       }) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\nin\n" << json;
  }
}

// Runs velmora with `args`, whose first files are the FIFOs `fifos`: opening one blocks until a
// writer comes, so the run waits there. The shell sends the interrupt once the process is the
// command line and catches SIGINT (bit 2 of SigCgt in /proc: its handler is in place), waits
// until the handler has run (it puts the default back last), and only then opens the FIFOs
// itself, which frees the run. So the signal lands mid-run and is seen before the next file
// however loaded the machine.
RunResult RunInterrupted(const std::string& args, const std::vector<std::wstring>& fifos,
                         const std::wstring& tmp) {
  const std::string caught =
      "{ c=$(sed -n 's/^SigCgt:[[:space:]]*//p' /proc/$pid/status 2>/dev/null); "
      "[ $((0x${c:-0} & 2)) -ne 0 ]; }";
  std::string free_fifos;
  for (const std::wstring& fifo : fifos)
    free_fifos += "exec 3<>" + QuotedPath(fifo) + "; exec 3>&-; ";
  return RunCli(args +
                    " 2>&1 & pid=$!; cli=$(readlink -f '" VELMORA_CLI_PATH
                    "'); n=0; until [ \"$(readlink /proc/$pid/exe)\" = \"$cli\" ] && " +
                    caught +
                    "; do n=$((n + 1)); [ $n -lt 1200 ] || break; sleep 0.05; done; "
                    "kill -INT $pid; n=0; while " +
                    caught + "; do n=$((n + 1)); [ $n -lt 1200 ] || break; sleep 0.05; done; " +
                    free_fifos + "wait $pid",
                tmp);
}

TEST_F(CliTest, ExitStatusFollowsWhatTheJobsReportForEveryFile) {
  const std::wstring text = scratch_.Path(L"text.ods");
  WriteText(text, "no package here");
  const std::wstring blocked = scratch_.Path(L"blocked");
  // A folder where the package should go: the file is repaired but cannot be saved.
  ASSERT_TRUE(platform::MakeDirectory(blocked) != platform::MakeDirResult::kFailed);
  ASSERT_TRUE(platform::MakeDirectory(blocked + L"/VONDRELREP_good.ods") !=
              platform::MakeDirResult::kFailed);
  // A file where the media folder goes: saved, but the picture cannot be copied out.
  const std::wstring media_blocked = scratch_.MakeFolder(L"media-blocked");
  ASSERT_TRUE(WriteText(media_blocked + L"/good.ods_MediaContent", "in the way"));
  struct Case {
    const char* what;
    std::string args;
    int status;
  };
  const std::string out = " --out " + QuotedPath(scratch_.Path(L"out")) + " --no-media";
  const Case cases[] = {
      {"repaired and saved", "repair " + QuotedPath(good_) + out, 0},
      {"the same file twice", "repair " + QuotedPath(good_) + " " + QuotedPath(good_) + out, 0},
      {"nothing found in one", "repair " + QuotedPath(good_) + " " + QuotedPath(text) + out, 1},
      {"repaired, not saved", "repair " + QuotedPath(good_) + " --out " + QuotedPath(blocked), 1},
      {"extracted",
       "extract " + QuotedPath(good_) + " --into " + QuotedPath(scratch_.Path(L"into")), 0},
      {"nothing to extract",
       "extract " + QuotedPath(text) + " --into " + QuotedPath(scratch_.Path(L"into")), 1},
      {"one of two gave nothing to extract",
       "extract " + QuotedPath(good_) + " " + QuotedPath(text) + " --into " +
           QuotedPath(scratch_.Path(L"into")),
       1},
      {"pictures that could not be copied out",
       "repair " + QuotedPath(good_) + " --out " + QuotedPath(media_blocked), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunResult r = RunCli(c.args, tmp_);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_EQ(r.out.find("unexpectedly"), std::string::npos) << r.out;
  }
}

TEST_F(CliTest, InterruptStopsTheRunReportsTheRestAndCleansUp) {
  const std::wstring fifo = scratch_.Path(L"stuck.ods");
  ASSERT_EQ(::mkfifo(platform::NarrowPath(fifo).c_str(), 0600), 0);
  const std::wstring out = scratch_.Path(L"out");
  RunResult r = RunInterrupted("repair " + QuotedPath(fifo) + " " + QuotedPath(good_) + " --out " +
                                   QuotedPath(out) + " --jobs 1",
                               {fifo}, tmp_);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) +
                       " file is not extracting as process has been stop by the user.... "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) + " not Repaired...."), std::string::npos);
  EXPECT_NE(r.out.find("stopped by the user"), std::string::npos);
  EXPECT_FALSE(platform::PathExists(out + L"/VONDRELREP_good.ods"));
  EXPECT_TRUE(TmpIsEmpty()) << "the private working folder must be gone";
}

TEST_F(CliTest, InterruptWithFilesUnderWayStopsTheFilesNotBegun) {
  // Two FIFOs hold both workers until after the interrupt; the third file is never begun.
  const std::vector<std::wstring> fifos = {scratch_.Path(L"stuck1.ods"),
                                           scratch_.Path(L"stuck2.ods")};
  for (const std::wstring& fifo : fifos) {
    ASSERT_EQ(::mkfifo(platform::NarrowPath(fifo).c_str(), 0600), 0);
  }
  const std::wstring out = scratch_.Path(L"out");
  RunResult r = RunInterrupted("repair " + QuotedPath(fifos[0]) + " " + QuotedPath(fifos[1]) + " " +
                                   QuotedPath(good_) + " --out " + QuotedPath(out) + " --jobs 2",
                               fifos, tmp_);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) +
                       " file is not extracting as process has been stop by the user.... "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) + " not Repaired...."), std::string::npos);
  EXPECT_NE(r.out.find("stopped by the user"), std::string::npos);
  EXPECT_EQ(r.out.find("saving of file"), std::string::npos);
  EXPECT_FALSE(platform::PathExists(out + L"/VONDRELREP_good.ods"));
  EXPECT_TRUE(TmpIsEmpty()) << "the private working folder must be gone";
}

// Nothing a run wrote is replaced by the same run, and a package that was there before is
// replaced only with --overwrite; the log names what was written.
TEST_F(CliTest, SameNamesAndEarlierPackagesNeverLoseAPackage) {
  const std::wstring other = scratch_.MakeFolder(L"other") + L"/good.ods";
  WriteBytes(other, MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                             {"content.xml", TinyContentXml("other"), true},
                             {"styles.xml", kTinyStylesXml, true},
                             {"Pictures/p.png", "other png", true}}));
  const std::wstring out = scratch_.Path(L"out");
  const std::string files = QuotedPath(good_) + " " + QuotedPath(other);
  RunResult r = RunCli("repair " + files + " --out " + QuotedPath(out) + " --jobs 2", tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(platform::NarrowPath(other) + " package written: " +
                       platform::NarrowPath(out) + "/VONDRELREP_good (2).ods....\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Saving processing completed: 2 saved, 0 not saved....\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(ReadBytes(out + L"/good.ods_MediaContent/p.png"), ToBytes("png"));
  EXPECT_EQ(ReadBytes(out + L"/good (2).ods_MediaContent/p.png"), ToBytes("other png"));
  const Bytes first = ReadBytes(out + L"/VONDRELREP_good.ods");
  const Bytes second = ReadBytes(out + L"/VONDRELREP_good (2).ods");
  EXPECT_FALSE(first.empty());
  EXPECT_NE(first, second);

  // Again into the same folder: both packages were there before, so both files get the next
  // free names and the earlier packages stay as they were.
  r = RunCli("repair " + files + " --out " + QuotedPath(out) + " --jobs 1", tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) +
                       " VONDRELREP_good.ods was there before this save and is kept: this file is "
                       "saved as VONDRELREP_good (3).ods....\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(ReadBytes(out + L"/VONDRELREP_good.ods"), first);
  EXPECT_EQ(ReadBytes(out + L"/VONDRELREP_good (2).ods"), second);
  EXPECT_FALSE(ReadBytes(out + L"/VONDRELREP_good (3).ods").empty());

  // With --overwrite the earlier packages are replaced, and no further name is taken.
  ASSERT_TRUE(WriteText(out + L"/VONDRELREP_good.ods", "an earlier package"));
  r = RunCli("repair " + QuotedPath(good_) + " --out " + QuotedPath(out) + " --overwrite", tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(" VONDRELREP_good.ods was there before this save and is replaced....\n"),
            std::string::npos)
      << r.out;
  const Bytes replaced = ReadBytes(out + L"/VONDRELREP_good.ods");
  EXPECT_FALSE(replaced.empty());
  EXPECT_NE(replaced, ToBytes("an earlier package"));
  EXPECT_FALSE(platform::PathExists(out + L"/VONDRELREP_good (4).ods"));
}

}  // namespace
}  // namespace velmora::test
#endif
