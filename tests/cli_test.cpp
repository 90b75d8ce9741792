// Runs the `velmora` executable as a user would and checks exit status, output
// and files.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "support/scratch.h"

namespace velmora::test {
namespace {

struct RunResult {
  int status = -1;
  std::string out;
};

// Runs velmora with the arguments (already shell-quoted), TMPDIR pointed at
// `tmp`.
RunResult RunCli(const std::string& args, const std::wstring& tmp) {
  const std::string command =
      "TMPDIR='" + platform::NarrowPath(tmp) + "' '" VELMORA_CLI_PATH "' " + args + " 2>&1";
  RunResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  int raw = ::pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

std::string Q(const std::wstring& path) {
  std::string quoted(1, '\'');
  quoted += platform::NarrowPath(path);
  quoted += '\'';
  return quoted;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::MakeDirectory(tmp_);
    good_ = scratch_ / L"good.ods";
    WriteBytes(good_,
               MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                        {"content.xml", "<doc>cells</doc>", true, true},
                        {"Pictures/p.png", "png", true}}));
  }
  // True when the private temporary folder holds nothing.
  bool TmpIsEmpty() {
    bool empty = true;
    platform::ListDirectory(tmp_, [&](const platform::DirItem&) { return empty = false; });
    return empty;
  }
  ScratchFolder scratch_;
  std::wstring tmp_ = scratch_ / L"tmp";
  std::wstring good_;
};

TEST_F(CliTest, WrongCommandLinesExitWithTwoAndTheUsage) {
  for (const char* args :
       {"", "frobnicate x.ods", "repair x.ods", "repair --out d", "extract --out d x.ods",
        "repair x.ods --out d --bogus", "extract x.ods --into"}) {
    SCOPED_TRACE(args);
    RunResult r = RunCli(args, tmp_);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("Usage:"), std::string::npos);
  }
  RunResult help = RunCli("--help", tmp_);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("velmora repair FILE... --out DEST"), std::string::npos);
}

TEST_F(CliTest, RepairWritesThePackageAndMediaAndCleansUp) {
  const std::wstring out = scratch_ / L"out";
  RunResult r = RunCli("repair " + Q(good_) + " --out " + Q(out), tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) + "  Repaired...."), std::string::npos);
  EXPECT_NE(r.out.find(platform::NarrowPath(good_) + " saving of file done...."),
            std::string::npos);
  EXPECT_FALSE(ReadBytes(out + L"/VONDRELREP_good.ods").empty());
  EXPECT_EQ(ReadBytes(out + L"/good.ods_MediaContent/p.png"), ToBytes("png"));
  EXPECT_TRUE(TmpIsEmpty()) << "the private working folder must be gone";
}

TEST_F(CliTest, RepairExitsWithOneWhenAnyFileFailsButSavesTheOthers) {
  const std::wstring out = scratch_ / L"out";
  RunResult r = RunCli("repair " + Q(scratch_ / L"missing.ods") + " " + Q(good_) + " --out " +
                           Q(out) + " --no-media",
                       tmp_);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find(" extraction of file failed...."), std::string::npos);
  EXPECT_FALSE(ReadBytes(out + L"/VONDRELREP_good.ods").empty());
  EXPECT_FALSE(platform::PathExists(out + L"/good.ods_MediaContent"));
  EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(CliTest, KeepWorkLeavesTheWorkingFolderWhereAsked) {
  const std::wstring work = scratch_ / L"work";
  RunResult r = RunCli("repair " + Q(good_) + " --out " + Q(scratch_ / L"out") + " --work " +
                           Q(work) + " --keep-work",
                       tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadBytes(work + L"/ClcTemp/good.ods0/content.xml"), ToBytes("<doc>cells</doc>"));
}

TEST_F(CliTest, ExtractFillsTheFolderLayout) {
  const std::wstring into = scratch_ / L"into";
  RunResult r = RunCli("extract " + Q(good_) + " " + Q(good_) + " --into " + Q(into), tmp_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadBytes(into + L"/good.ods0/content.xml"), ToBytes("<doc>cells</doc>"));
  EXPECT_EQ(ReadBytes(into + L"/good.ods1/Pictures/p.png"), ToBytes("png"));
  RunResult missing = RunCli("extract " + Q(scratch_ / L"nope.ods") + " --into " + Q(into), tmp_);
  EXPECT_EQ(missing.status, 1);
}

TEST_F(CliTest, InterruptStopsTheRunReportsTheRestAndCleansUp) {
  // The first file is a FIFO: opening it blocks until a writer comes, so the run waits there.
  // The shell sends the interrupt once the process is the command line and catches SIGINT
  // (bit 2 of SigCgt in /proc: its handler is in place), waits until the handler has run (it
  // puts the default back last), and only then opens the FIFO itself, which frees the run.
  // So the signal lands mid-run and is seen before the next file however loaded the machine.
  const std::wstring fifo = scratch_ / L"stuck.ods";
  ASSERT_EQ(::mkfifo(platform::NarrowPath(fifo).c_str(), 0600), 0);
  const std::wstring out = scratch_ / L"out";
  const std::string caught =
      "{ c=$(sed -n 's/^SigCgt:[[:space:]]*//p' /proc/$pid/status 2>/dev/null); "
      "[ $((0x${c:-0} & 2)) -ne 0 ]; }";
  RunResult r = RunCli("repair " + Q(fifo) + " " + Q(good_) + " --out " + Q(out) +
                           " 2>&1 & pid=$!; cli=$(readlink -f '" VELMORA_CLI_PATH
                           "'); n=0; until [ \"$(readlink /proc/$pid/exe)\" = \"$cli\" ] && " +
                           caught +
                           "; do n=$((n + 1)); [ $n -lt 1200 ] || break; sleep 0.05; done; "
                           "kill -INT $pid; n=0; while " +
                           caught +
                           "; do n=$((n + 1)); [ $n -lt 1200 ] || break; sleep 0.05; done; "
                           "exec 3<>" +
                           Q(fifo) + "; exec 3>&-; wait $pid",
                       tmp_);
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

}  // namespace
}  // namespace velmora::test
#endif
