// velmora: the command-line front end. It drives the same repair and save jobs
// as the window, through a terminal implementation of the job window.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/report_writer.h"
#include "cli/terminal_window.h"
#include "engine/job/job_context.h"
#include "engine/job/repair_job.h"
#include "engine/job/working_folder.h"
#include "output/save_job.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace velmora::cli {
namespace {

using platform::Stream;

JobRunning g_job_running{0};
std::atomic<int> g_interrupted{0};

void OnInterrupt() {
  // Ctrl+C is a confirmed Stop.
  g_interrupted.store(1);
  g_job_running.store(0);
}

void Error(const std::wstring &text) {
  platform::WriteText(Stream::kErr, L"velmora: " + text + L"\n");
}

// Creates the folder and every missing folder above it.
bool MakeFolders(const std::wstring &path) {
  if (platform::IsDirectory(path))
    return true;
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != platform::kSeparator &&
        !(platform::kSeparator == L'\\' && path[at] == L'/'))
      continue;
    const std::wstring part = path.substr(0, at);
    if (platform::IsDirectory(part))
      continue;
    if (platform::MakeDirectory(part) == platform::MakeDirResult::kFailed)
      return false;
  }
  return platform::IsDirectory(path);
}

void AddFiles(TerminalWindow &window, const Options &options) {
  for (const auto &file : options.files)
    window.AddFile(platform::AbsolutePath(file));
}

// The report of --report, or none.
class RunReport {
public:
  RunReport(const Options &options, const char *command, TerminalWindow &window) {
    if (options.report.empty())
      return;
    path_ = options.report;
    std::vector<std::wstring> files;
    for (int i = 0; i < window.FileCount(); ++i)
      files.push_back(window.FileText(i));
    writer_ = std::make_unique<ReportWriter>(command, std::move(files));
  }
  RecoveryObserver *observer() { return writer_.get(); }
  // Writes the report, also after a stop. Returns the exit status to use.
  int Finish(int status) {
    if (!writer_)
      return status;
    if (!writer_->Write(path_, g_interrupted.load() != 0)) {
      Error(L"cannot write the report " + path_ + L": " +
            platform::SystemErrorText(platform::LastError()));
      return 1;
    }
    return status;
  }

private:
  std::wstring path_;
  std::unique_ptr<ReportWriter> writer_;
};

int RunExtract(const Options &options) {
  const std::wstring into =
      platform::AbsolutePath(options.into.empty() ? L"." : options.into);
  if (!MakeFolders(into)) {
    Error(L"cannot create " + into + L": " +
          platform::SystemErrorText(platform::LastError()));
    return 2;
  }
  TerminalWindow window;
  AddFiles(window, options);
  RunReport report(options, "extract", window);
  // The folder is the user's: it is filled, never emptied first.
  SetWorkingFolderOverride(into);
  JobContext context{&g_job_running, &window, report.observer()};
  g_job_running.store(1);
  // A Ctrl+C that came before the store above would otherwise be lost for the run.
  if (g_interrupted.load())
    g_job_running.store(0);
  RepairWorker(context);
  if (g_interrupted.load())
    Error(L"stopped by the user");
  return report.Finish(
      window.RepairedCount() == window.FileCount() && !g_interrupted.load()
          ? 0
          : 1);
}

// The working folder of one repair run and what removes it at the end.
class RunFolder {
public:
  bool Make(const Options &options) {
    if (!options.work.empty()) {
      const std::wstring parent = platform::AbsolutePath(options.work);
      if (!MakeFolders(parent))
        return false;
      path_ = parent + platform::kSeparator + L"ClcTemp";
      return true;
    }
    // The temporary file reserves a unique name; the private folder sits beside
    // it.
    reserved_ = platform::CreateTempFile(platform::TempFolder(), L"VLM");
    if (reserved_.empty())
      return false;
    private_ = reserved_ + L".d";
    if (platform::MakeDirectory(private_) == platform::MakeDirResult::kFailed)
      return false;
    path_ = private_ + platform::kSeparator + L"ClcTemp";
    return true;
  }
  const std::wstring &path() const { return path_; }
  void Remove() {
    if (!path_.empty() && platform::IsDirectory(path_)) {
      DeleteFolderTree(path_);
      platform::RemoveEmptyDirectory(path_);
    }
    if (!private_.empty())
      platform::RemoveEmptyDirectory(private_);
    if (!reserved_.empty())
      platform::RemoveFile(reserved_);
  }

private:
  std::wstring path_;
  std::wstring private_;
  std::wstring reserved_;
};

int RunRepair(const Options &options) {
  const std::wstring out = platform::AbsolutePath(options.out);
  if (!MakeFolders(out)) {
    Error(L"cannot create " + out + L": " +
          platform::SystemErrorText(platform::LastError()));
    return 2;
  }
  RunFolder folder;
  if (!folder.Make(options)) {
    Error(L"cannot create a working folder: " +
          platform::SystemErrorText(platform::LastError()));
    return 1;
  }
  SetWorkingFolderOverride(folder.path());

  TerminalWindow window;
  AddFiles(window, options);
  window.SetDestination(out);
  window.SetMediaChecked(!options.no_media);
  RunReport report(options, "repair", window);
  JobContext context{&g_job_running, &window, report.observer()};

  std::thread repair = OnRepairFiles(context);
  // The handler sets the job running: a Ctrl+C that came before would be lost for the run.
  if (g_interrupted.load())
    g_job_running.store(0);
  repair.join();
  if (!g_interrupted.load()) {
    std::thread save = OnSaveFiles(context);
    if (save.joinable())
      save.join();
  }
  if (options.keep_work && !g_interrupted.load())
    platform::WriteText(Stream::kErr,
                        L"working folder kept: " + folder.path() + L"\n");
  else
    folder.Remove();
  if (g_interrupted.load()) {
    Error(L"stopped by the user");
    return report.Finish(1);
  }
  const int n = window.FileCount();
  return report.Finish(
      window.RepairedCount() == n && window.SavedCount() == n ? 0 : 1);
}

int Run(const std::vector<std::wstring> &args) {
  const Options options = ParseOptions(args);
  if (!options.error.empty()) {
    Error(options.error);
    platform::WriteText(Stream::kErr, kUsage);
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

} // namespace
} // namespace velmora::cli

#ifdef _WIN32
int wmain(int argc, wchar_t **argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  return velmora::cli::Run(args);
}
#else
int main(int argc, char **argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(velmora::platform::WidenPath(argv[i]));
  return velmora::cli::Run(args);
}
#endif
