// velmora: the command-line front end. It drives the same repair and save jobs
// as the window, through a terminal implementation of the job window.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/options.h"
#include "cli/report_writer.h"
#include "cli/terminal_window.h"
#include "engine/extract/entry_extractor.h"
#include "engine/job/job_context.h"
#include "engine/job/recovery_observer.h"
#include "engine/job/repair_job.h"
#include "engine/job/working_folder.h"
#include "engine/verdict/verdict_text.h"
#include "output/save_job.h"
#include "output/save_names.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace velmora::cli {
namespace {

using platform::Stream;

// Ctrl+C: set once, never cleared.
std::atomic<int> g_interrupted{0};
// The stop flags of the batch's file runs, for the interrupt handler (lock-free atomics only).
std::atomic<JobRunning*> g_runs{nullptr};
std::atomic<int> g_run_count{0};

void OnInterrupt() {
  // Ctrl+C is a confirmed Stop, for every file under way.
  g_interrupted.store(1);
  JobRunning* runs = g_runs.load();
  const int n = g_run_count.load();
  for (int i = 0; i < n && runs != nullptr; ++i) runs[i].store(0);
}

void Error(const std::wstring& text) {
  platform::WriteText(Stream::kErr, L"velmora: " + text + L"\n");
}

void Print(const std::vector<OutputLine>& lines) {
  for (const OutputLine& line : lines) platform::WriteText(line.stream, line.text);
}

// Creates the folder and every missing folder above it.
bool MakeFolders(const std::wstring& path) {
  return platform::IsDirectory(path) ||
         (platform::MakeDirectories(path) && platform::IsDirectory(path));
}

// What the jobs reported about one file: its verdict and whether it was saved, for the exit
// status, and, when a report is asked for, what the jobs reported of it, until the batch hands
// it to the report in list order.
class FileObserver : public RecoveryObserver {
 public:
  void OnFileRecovered(const FileRecovery& recovery) override {
    verdict_ = recovery.verdict.verdict;
    if (keep_) recoveries_.push_back(recovery);
  }
  void OnFileSaved(const FileSave& save) override {
    saved_ = save.saved;
    if (keep_) saves_.push_back(save);
    media_failed_ = save.media_failed;
  }
  void Keep(bool on) { keep_ = on; }
  void HandRecoveriesTo(RecoveryObserver& report) {
    for (const FileRecovery& recovery : recoveries_) report.OnFileRecovered(recovery);
    recoveries_.clear();
  }
  void HandSavesTo(RecoveryObserver& report) {
    for (const FileSave& save : saves_) report.OnFileSaved(save);
    saves_.clear();
  }
  // kNone while the repair job has not reported the file.
  Verdict verdict() const { return verdict_; }
  bool saved() const { return saved_; }
  bool media_failed() const { return media_failed_; }

 private:
  bool keep_ = false;
  Verdict verdict_ = Verdict::kNone;
  bool saved_ = false;
  bool media_failed_ = false;
  std::vector<FileRecovery> recoveries_;
  std::vector<FileSave> saves_;
};

// The listed files of one command, run `jobs` at a time. Each file has its own window, stop
// flag and observer and is handled by the jobs as position i of the whole list
// (JobContext::only_file), so that its folder in the shared working folder is <name><i> as in
// a run of the whole list. What each file prints is held back and printed whole, in list order.
class Batch {
 public:
  Batch(const Options& options, unsigned jobs)
      : n_(static_cast<int>(options.files.size())),
        jobs_(jobs),
        runs_(new FileRun[options.files.size()]),
        running_(new JobRunning[options.files.size()]),
        progress_(platform::IsTerminal(Stream::kErr)),
        colour_(platform::IsTerminal(Stream::kOut)) {
    for (int i = 0; i < n_; ++i) paths_.push_back(platform::AbsolutePath(options.files[i]));
    for (int i = 0; i < n_; ++i) {
      runs_[i].window = std::make_unique<TerminalWindow>(i, n_, paths_[i], colour_);
      runs_[i].window->SetStop(&g_interrupted, &running_[i]);
      runs_[i].window->SetListing(&paths_);
      runs_[i].window->SetOverwrite(options.overwrite);
    }
    g_runs.store(running_.get());
    g_run_count.store(n_);
  }
  ~Batch() {
    g_run_count.store(0);
    g_runs.store(nullptr);
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  const std::vector<std::wstring>& paths() const { return paths_; }
  JobWindow& first_window() { return *runs_[0].window; }
  void SetDestination(const std::wstring& out, bool media) {
    for (int i = 0; i < n_; ++i) {
      runs_[i].window->SetDestination(out);
      runs_[i].window->SetMediaChecked(media);
    }
  }
  // Keeps what each file gave for the report.
  void KeepRecoveries() {
    for (int i = 0; i < n_; ++i) runs_[i].observer.Keep(true);
  }
  // A job ended by an exception on some file (that file counts as neither repaired nor saved).
  bool Failed() const { return failed_.load(); }

  // Runs `job` (the repair or the save worker) for every file and prints each file's lines as
  // soon as it and every file before it are done; then the job's closing lines, once.
  void Run(unsigned (*job)(JobContext)) {
    std::mutex mutex;
    std::condition_variable done_changed;
    std::vector<char> done(n_, 0);
    std::atomic<int> next{0};
    auto work = [&] {
      // The worker's files share one temporary file for their inflated entries.
      InflateScratch scratch;
      for (int i = next++; i < n_; i = next++) {
        FileRun& run = runs_[i];
        running_[i].store(1);
        if (g_interrupted.load()) running_[i].store(0);
        try {
          job(JobContext{&running_[i], run.window.get(), &run.observer, i, &scratch, &claims_});
        } catch (...) {
          // An exception must not end the program from a worker: the other files go on.
          failed_.store(true);
        }
        {
          std::lock_guard lock(mutex);
          done[i] = 1;
        }
        done_changed.notify_all();
      }
    };
    std::vector<std::thread> workers;
    const unsigned count = std::min<unsigned>(jobs_, static_cast<unsigned>(n_));
    for (unsigned w = 0; w < count; ++w) workers.emplace_back(work);
    for (int i = 0; i < n_; ++i) {
      {
        std::unique_lock lock(mutex);
        done_changed.wait(lock, [&] { return done[i] != 0; });
      }
      ClearProgress();
      Print(runs_[i].window->TakeOutput());
      DrawProgress(i + 1);
    }
    for (std::thread& worker : workers) worker.join();
    ClearProgress();
    // Every file's run closed the same way; the list gets those lines once, with the repair
    // and save counts over the whole list rather than the first file's.
    for (int i = 0; i < n_; ++i) {
      std::vector<OutputLine> closing = runs_[i].window->TakeClosing();
      if (i != 0) continue;
      for (OutputLine& line : closing) {
        if (IsRepairCountLine(line.text))
          line.text = CountLine();
        else if (line.text.rfind(kSaveClosingStart, 0) == 0)
          line.text =
              TerminalLogLine(SaveClosingLine(SavedCount(), n_ - SavedCount()), kBlack, colour_);
      }
      Print(closing);
    }
  }

  // The save job's closing message for the whole list, once.
  void PrintSaveMessage() {
    SaveCounts counts;
    counts.files = n_;
    counts.saved = SavedCount();
    counts.media_failed = MediaFailedCount();
    counts.stopped = g_interrupted.load() != 0;
    unsigned flags = 0;
    const std::wstring text = FinalSaveMessage(counts, runs_[0].window->Destination(), &flags);
    platform::WriteText(Stream::kErr, PlainMessageText(text) + L"\n");
  }

  void HandTo(RecoveryObserver& report) {
    for (int i = 0; i < n_; ++i) runs_[i].observer.HandRecoveriesTo(report);
    for (int i = 0; i < n_; ++i) runs_[i].observer.HandSavesTo(report);
  }
  // Files by verdict: [kNone .. kNotRepaired]; a file the repair job did not report (not
  // opened, stopped before it) counts as not repaired.
  std::vector<int> VerdictCounts() const {
    std::vector<int> counts(5, 0);
    for (int i = 0; i < n_; ++i) {
      const Verdict verdict = runs_[i].observer.verdict();
      ++counts[static_cast<int>(verdict == Verdict::kNone ? Verdict::kNotRepaired : verdict)];
    }
    return counts;
  }
  int SavedCount() const {
    int count = 0;
    for (int i = 0; i < n_; ++i) count += runs_[i].observer.saved() ? 1 : 0;
    return count;
  }
  int MediaFailedCount() const {
    int count = 0;
    for (int i = 0; i < n_; ++i) count += runs_[i].observer.media_failed() ? 1 : 0;
    return count;
  }
  int FileCount() const { return n_; }

 private:
  struct FileRun {
    std::unique_ptr<TerminalWindow> window;
    FileObserver observer;
  };
  static bool IsRepairCountLine(const std::wstring& text) {
    return text.compare(0, 28, L"Repairing process completed:") == 0;
  }
  // The repair job's count line over every file of the list (a black line: no colour codes).
  std::wstring CountLine() const {
    const std::vector<int> counts = VerdictCounts();
    return TerminalLogLine(RepairCountLine(counts[static_cast<int>(Verdict::kComplete)],
                                           counts[static_cast<int>(Verdict::kPartial)],
                                           counts[static_cast<int>(Verdict::kLost)] +
                                               counts[static_cast<int>(Verdict::kNotRepaired)]),
                           kBlack, false);
  }
  void DrawProgress(int done) {
    if (!progress_ || done >= n_) return;
    platform::WriteText(Stream::kErr,
                        L"\r\x1b[Kfiles " + std::to_wstring(done) + L"/" + std::to_wstring(n_));
    progress_drawn_ = true;
  }
  void ClearProgress() {
    if (!progress_drawn_) return;
    platform::WriteText(Stream::kErr, L"\r\x1b[K");
    progress_drawn_ = false;
  }

  const int n_;
  const unsigned jobs_;
  std::vector<std::wstring> paths_;
  std::unique_ptr<FileRun[]> runs_;
  std::unique_ptr<JobRunning[]> running_;  // one stop flag per file, zeroed by Ctrl+C
  std::atomic<bool> failed_{false};
  SaveClaims claims_;  // the names the save jobs of the run have taken
  const bool progress_;
  const bool colour_;
  bool progress_drawn_ = false;
};

unsigned JobsFor(const Options& options) {
  if (options.jobs > 0) return options.jobs;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

// The report of --report, or none.
class RunReport {
 public:
  RunReport(const Options& options, const char* command, Batch& batch) : batch_(batch) {
    if (options.report.empty()) return;
    path_ = options.report;
    writer_ = std::make_unique<ReportWriter>(command, batch.paths());
    batch.KeepRecoveries();
  }
  // Writes the report, also after a stop. Returns the exit status to use.
  int Finish(int status) {
    if (!writer_) return status;
    batch_.HandTo(*writer_);
    if (!writer_->Write(path_, g_interrupted.load() != 0)) {
      Error(L"cannot write the report " + path_ + L": " +
            platform::SystemErrorText(platform::LastError()));
      return 1;
    }
    return status;
  }

 private:
  Batch& batch_;
  std::wstring path_;
  std::unique_ptr<ReportWriter> writer_;
};

// 0 when every file came back complete (and, when `saves`, was saved); 3 when every file came
// back with sheet data (and was saved) but some only in part; 1 when any file was not repaired
// (lost included: it gets no package) or not saved, or the run was stopped or broke off.
int ExitStatus(const Batch& batch, bool saves) {
  const int n = batch.FileCount();
  if (batch.Failed() || g_interrupted.load() != 0) return 1;
  if (saves && (batch.SavedCount() != n || batch.MediaFailedCount() != 0)) return 1;
  const std::vector<int> counts = batch.VerdictCounts();
  const int complete = counts[static_cast<int>(Verdict::kComplete)];
  const int partial = counts[static_cast<int>(Verdict::kPartial)];
  if (complete + partial != n) return 1;
  return partial > 0 ? 3 : 0;
}

int RunExtract(const Options& options) {
  const std::wstring into = platform::AbsolutePath(options.into.empty() ? L"." : options.into);
  if (!MakeFolders(into)) {
    Error(L"cannot create " + into + L": " + platform::SystemErrorText(platform::LastError()));
    return 2;
  }
  Batch batch(options, JobsFor(options));
  RunReport report(options, "extract", batch);
  // The folder is the user's: it is filled, never emptied first.
  SetWorkingFolderOverride(into);
  batch.Run(RepairWorker);
  if (batch.Failed()) Error(L"the job ended unexpectedly");
  if (g_interrupted.load()) Error(L"stopped by the user");
  return report.Finish(ExitStatus(batch, false));
}

// The working folder of one repair run and what removes it at the end.
class RunFolder {
 public:
  bool Make(const Options& options) {
    if (!options.work.empty()) {
      const std::wstring parent = platform::AbsolutePath(options.work);
      if (!MakeFolders(parent)) return false;
      path_ = platform::JoinPath(parent, L"ClcTemp");
      return true;
    }
    // The temporary file reserves a unique name; the private folder sits beside
    // it.
    reserved_ = platform::CreateTempFile(platform::TempFolder(), L"VLM");
    if (reserved_.empty()) return false;
    private_ = reserved_ + L".d";
    if (platform::MakeDirectory(private_) == platform::MakeDirResult::kFailed) return false;
    path_ = platform::JoinPath(private_, L"ClcTemp");
    return true;
  }
  const std::wstring& path() const { return path_; }
  void Remove() {
    if (!path_.empty() && platform::IsDirectory(path_)) {
      DeleteFolderTree(path_);
      platform::RemoveEmptyDirectory(path_);
    }
    if (!private_.empty()) platform::RemoveEmptyDirectory(private_);
    if (!reserved_.empty()) platform::RemoveFile(reserved_);
  }

 private:
  std::wstring path_;
  std::wstring private_;
  std::wstring reserved_;
};

int RunRepair(const Options& options) {
  const std::wstring out = platform::AbsolutePath(options.out);
  if (!MakeFolders(out)) {
    Error(L"cannot create " + out + L": " + platform::SystemErrorText(platform::LastError()));
    return 2;
  }
  RunFolder folder;
  if (!folder.Make(options)) {
    Error(L"cannot create a working folder: " + platform::SystemErrorText(platform::LastError()));
    return 1;
  }
  SetWorkingFolderOverride(folder.path());

  Batch batch(options, JobsFor(options));
  batch.SetDestination(out, !options.no_media);
  RunReport report(options, "repair", batch);
  // What the repair command does first in the window: a working folder left by an earlier run
  // (--work) goes.
  DiscardWorkingFolder(batch.first_window());
  batch.Run(RepairWorker);
  if (!g_interrupted.load()) {
    batch.Run(SaveWorker);
    batch.PrintSaveMessage();
  }
  if (options.keep_work && !g_interrupted.load())
    platform::WriteText(Stream::kErr, L"working folder kept: " + folder.path() + L"\n");
  else
    folder.Remove();
  if (batch.Failed()) Error(L"the job ended unexpectedly");
  if (g_interrupted.load()) {
    Error(L"stopped by the user");
    return report.Finish(1);
  }
  return report.Finish(ExitStatus(batch, true));
}

int Run(const std::vector<std::wstring>& args) {
  const Options options = ParseOptions(args);
  if (!options.error.empty()) {
    Error(options.error);
    platform::WriteText(Stream::kErr, kSeeHelp);
    return 2;
  }
  switch (options.command) {
    case Command::kHelp:
      platform::WriteText(Stream::kOut, kUsage);
      return 0;
    case Command::kVersion:
      platform::WriteText(Stream::kOut, L"velmora " VELMORA_WIDE_VERSION L"\n");
      return 0;
    case Command::kExtract:
      platform::OnInterrupt(OnInterrupt);
      return RunExtract(options);
    case Command::kRepair:
      platform::OnInterrupt(OnInterrupt);
      return RunRepair(options);
    case Command::kNone:
      break;
  }
  return 2;
}

}  // namespace
}  // namespace velmora::cli

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  return velmora::cli::Run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(velmora::platform::WidenPath(argv[i]));
  return velmora::cli::Run(args);
}
#endif
