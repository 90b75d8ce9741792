#include "engine/job/repair_job.h"

#include <string>
#include <utility>

#include "engine/extract/byte_repair.h"
#include "engine/extract/entry_extractor.h"
#include "engine/job/job_texts.h"
#include "engine/job/progress_scale.h"
#include "engine/job/repair_steps.h"
#include "engine/job/start_job.h"
#include "engine/job/workflow_steps.h"
#include "engine/job/working_folder.h"
#include "engine/package/package_completion.h"
#include "engine/scan/document_split.h"
#include "engine/verdict/verdict_text.h"
#include "platform/platform.h"

namespace velmora {
namespace {

// True when the folder holds at least one file at any depth: a file whose scan
// found nothing usable leaves only empty folders behind.
bool HoldsAnyFile(const std::wstring& folder) {
  bool found = false;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    found = item.is_directory ? HoldsAnyFile(platform::JoinPath(folder, item.name)) : true;
    return !found;
  });
  return found;
}

// Hands the observer what this file gave, when the front end asked for one.
void Report(const JobContext& context, FileRecovery recovery) {
  if (context.observer) context.observer->OnFileRecovered(recovery);
}

void MarkNotRepaired(JobWindow& view, int index, const std::wstring& path,
                     const std::wstring& reason) {
  view.ReplaceFileItem(index, path, kImageNotRepaired);
  view.AppendLog(path + L" not Repaired....\r\n", kRed);
  view.AppendLog(kAsteriskLine, kBlack);
  view.SetFileData(index, 0);
  view.SetFileVerdict(index, NotRepairedVerdict(reason));
}

// The run's closing count: every file the job handled, by its verdict.
struct RunCount {
  int repaired = 0;
  int partly = 0;
  int not_repaired = 0;
  void Add(Verdict verdict) {
    if (verdict == Verdict::kComplete) {
      ++repaired;
    } else if (verdict == Verdict::kPartial) {
      ++partly;
    } else {
      ++not_repaired;
    }
  }
};

// The system's text for an error, without the full stop and blanks at its end, as it goes
// into a log line that ends with dots of its own.
std::wstring FailureReason(platform::ErrorCode error) {
  std::wstring text = platform::SystemErrorText(error);
  while (!text.empty() && (text.back() == L'.' || text.back() == L' ' || text.back() == L'\r' ||
                           text.back() == L'\n')) {
    text.pop_back();
  }
  if (text.empty()) text = L"error " + std::to_wstring(error);
  return text;
}

}  // namespace

bool OnRepairFiles(const JobContext& context, JobThread& worker, JobThread::OnEnd on_end) {
  // A worker that has not announced its end may still be carrying calls over to this thread.
  if (worker.Joinable() && !worker.Ended()) return false;
  JobWindow& view = *context.view;
  DiscardWorkingFolder(view);
  ApplyStep(view, WorkflowStep::kRepairStarted);
  context.job_running->store(1);
  if (StartJob(context, worker, RepairWorker, WorkflowStep::kRepairEnded, std::move(on_end)))
    return true;
  context.job_running->store(0);
  ApplyStep(view, WorkflowStep::kRepairEnded);
  return false;
}

unsigned RepairWorker(JobContext context) {
  JobWindow& view = *context.view;
  const int n = view.FileCount();
  platform::MakeDirectory(GetWorkingFolderPath());

  view.ResetEstimate(Bar::kTotal);
  view.SetBarRange(Bar::kTotal, BarUpper(n));
  view.SetBarPos(Bar::kTotal, 0);

  // The entries of the file being repaired. The window's hidden list gets a copy to show; the
  // job never reads them back from it.
  std::vector<RecoveredEntry> entries;
  // One temporary file for every inflated entry of the run: a file system that is slow to
  // reuse the names it freed lately would otherwise slow down at each file.
  InflateScratch own_scratch;
  InflateScratch& scratch = context.scratch != nullptr ? *context.scratch : own_scratch;
  RunCount count;
  int i = 0;
  for (; i < n; ++i) {
    if (!HandlesFile(context, i)) continue;
    const std::wstring path = view.FileText(i);
    entries.clear();
    view.ClearEntries();
    if (context.job_running->load() == 0) break;
    platform::ErrorCode open_error = 0;
    if (!ScanArchive(view, path, context, entries, &open_error)) {
      // A file that vanished or cannot be read is named in the log with the system's reason,
      // and the batch goes on with the next one rather than waiting on a box.
      const std::wstring reason = FailureReason(open_error);
      view.AppendLog(path + L" extraction of file failed: " + reason + L"....\r\n", kRed);
      view.AppendLog(kAsteriskLine, kBlack);
      view.ReplaceFileItem(i, path, kImageNotRepaired);
      view.SetFileData(i, 0);
      view.SetFileVerdict(i, NotRepairedVerdict(L"the file could not be opened: " + reason));
      count.Add(Verdict::kNotRepaired);
      FileRecovery unopened;
      unopened.path = path;
      unopened.verdict = NotRepairedVerdict(L"the file could not be opened: " + reason);
      Report(context, std::move(unopened));
    } else {
      FileRecovery recovery;
      recovery.path = path;
      recovery.opened = true;
      // Each document the file holds gets a folder of its own, so that one package's parts
      // never overwrite another's; the first is the file's folder as always. The correction
      // searches of all of them share one budget.
      RepairBudget budget;
      bool repaired = false;
      bool shows_something = false;
      std::vector<DocumentVerdict> verdicts;
      const std::vector<size_t> starts = DocumentStarts(entries);
      for (size_t d = 0; d < starts.size(); ++d) {
        const size_t end = d + 1 < starts.size() ? starts[d + 1] : entries.size();
        const std::vector<RecoveredEntry> part(entries.begin() + static_cast<ptrdiff_t>(starts[d]),
                                               entries.begin() + static_cast<ptrdiff_t>(end));
        const std::wstring folder = FileFolderPath(path, i) + DocumentSuffix(d);
        platform::MakeDirectory(folder);
        std::vector<EntryOutcome> outcomes =
            ExtractAllEntries(view, folder, path, part, context.job_running, &budget, &scratch);
        recovery.outcomes.insert(recovery.outcomes.end(), outcomes.begin(), outcomes.end());
        DocumentRecovery document;
        document.first_entry = starts[d];
        document.entry_count = end - starts[d];
        // A package that lost its manifest (written last, so the first thing a cut takes) is
        // refused by office programs even when every sheet survived.
        document.synthesised = CompletePackage(folder);
        if (d == 0) recovery.synthesised = document.synthesised;
        document.verdict = JudgeDocument(folder, part, outcomes, document.synthesised);
        shows_something = shows_something || document.verdict.any_picture ||
                          document.verdict.verdict == Verdict::kComplete ||
                          document.verdict.verdict == Verdict::kPartial;
        verdicts.push_back(document.verdict);
        recovery.documents.push_back(std::move(document));
        repaired = HoldsAnyFile(folder) || repaired;
      }
      const FileVerdict verdict =
          repaired ? FileVerdictOf(verdicts) : NotRepairedVerdict(L"no part of it could be read");
      count.Add(verdict.verdict);
      recovery.repaired =
          verdict.verdict == Verdict::kComplete || verdict.verdict == Verdict::kPartial;
      recovery.verdict = verdict;
      recovery.entries = std::move(entries);
      Report(context, std::move(recovery));
      if (repaired) {
        view.ReplaceFileItem(i, path, ItemImageOf(verdict));
        if (shows_something)
          view.AppendLog(path + L" preview of file is available....\r\n", kBlack);
        // A file that came back whole keeps the line users know; any other says what came back.
        if (verdict.verdict == Verdict::kComplete) {
          view.AppendLog(path + L"  Repaired....\r\n", kGreen);
        } else {
          view.AppendLog(path + L"  " + verdict.summary + L"\r\n", VerdictColour(verdict.verdict));
        }
        // Only where every document got a package; otherwise the line above names each.
        bool all_packaged = true;
        for (Verdict document : verdict.documents)
          all_packaged =
              all_packaged && (document == Verdict::kComplete || document == Verdict::kPartial);
        if (starts.size() > 1 && all_packaged) {
          view.AppendLog(path + L" held " + std::to_wstring(starts.size()) +
                             L" documents: each is repaired and saved as a package of its "
                             L"own....\r\n",
                         kBlack);
        }
        view.AppendLog(kAsteriskLine, kBlack);
        view.SetFileData(i, ItemDataOf(verdict));
        view.SetFileVerdict(i, verdict);
      } else {
        // Not one entry came out: calling this file repaired would later save
        // an empty package as if it held the user's data.
        MarkNotRepaired(view, i, path, L"no part of it could be read");
      }
    }
    view.SetBarPos(Bar::kTotal, BarPosition(i + 1, n));
  }
  for (int j = i; j < n; ++j) {
    if (!HandlesFile(context, j)) continue;
    const std::wstring path = view.FileText(j);
    view.ReplaceFileItem(j, path, kImageNotRepaired);
    view.AppendLog(path +
                       L" file is not extracting as process has been stop "
                       L"by the user.... \r\n",
                   kBlack);
    view.AppendLog(path + L" not Repaired....\r\n", kRed);
    view.AppendLog(kAsteriskLine, kBlack);
    view.SetFileData(j, 0);
    view.SetFileVerdict(j, NotRepairedVerdict(L"the run was stopped before it"));
    count.Add(Verdict::kNotRepaired);
  }

  view.SetBarPos(Bar::kTotal, BarPosition(n, n));
  view.AppendLog(RepairCountLine(count.repaired, count.partly, count.not_repaired), kBlack);
  view.AppendLog(kUnderscoreLine, kBlack);
  ApplyStep(view, WorkflowStep::kRepairEnded);
  context.job_running->store(0);
  return 1;
}

void OnStop(const JobContext& context) {
  JobWindow& view = *context.view;
  if (view.ShowMessageBox(BoxOwner::kNone, L"Are you sure to stop the running process?",
                          kMbQuestion) != kIdYes)
    return;
  view.EnableControl(Control::kStop, false);
  context.job_running->store(0);
}

}  // namespace velmora
