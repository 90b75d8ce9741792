#include "engine/job/repair_steps.h"

#include <algorithm>

#include "engine/extract/entry_extractor.h"
#include "engine/job/progress_scale.h"
#include "engine/job/working_folder.h"
#include "engine/scan/archive_scanner.h"
#include "platform/platform.h"

namespace velmora {
namespace {

// The file bar's range while a correction search runs.
constexpr uint16_t kSearchBarRange = 1000;

}  // namespace

bool ScanArchive(JobWindow& view, const std::wstring& path, const JobContext& context,
                 std::vector<RecoveredEntry>& entries, platform::ErrorCode* open_error) {
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kNone);
  if (!file.IsOpen()) {
    const platform::ErrorCode error = platform::LastError();
    if (open_error != nullptr) {
      *open_error = error;
      return false;
    }
    view.ShowMessageBox(BoxOwner::kNone, platform::SystemErrorText(error), kMbInformation);
    return false;
  }
  view.AppendLog(path + L" file is open....\r\n", kBlack);
  const int64_t size = file.Size();
  static const JobRunning kNoStopFlag{1};
  const JobRunning& running = context.job_running != nullptr ? *context.job_running : kNoStopFlag;
  ScanFile(file, size > 0 ? static_cast<uint64_t>(size) : 0, running,
           [&view, &entries](const RecoveredEntry& entry) {
             entries.push_back(entry);
             view.AppendEntry(entry);
           });
  view.AppendLog(path + L" file is extracted....\r\n", kBlack);
  file.Close();
  view.AppendLog(path + L" file is closed....\r\n", kBlack);
  return true;
}

std::vector<EntryOutcome> ExtractAllEntries(JobWindow& view, std::wstring folder,
                                            const std::wstring& damaged_path,
                                            const std::vector<RecoveredEntry>& entries,
                                            const JobRunning* running, RepairBudget* shared_budget,
                                            InflateScratch* shared_scratch) {
  const size_t n = entries.size();
  const int64_t count = static_cast<int64_t>(n);
  std::vector<EntryOutcome> outcomes;
  outcomes.reserve(n);
  view.ResetEstimate(Bar::kFile);
  view.SetBarRange(Bar::kFile, BarUpper(count));
  view.SetBarPos(Bar::kFile, 0);
  folder = platform::WithTrailingSeparator(std::move(folder));
  // The correction searches of one file share one budget. While one runs, the file bar shows
  // the positions it has tried, then goes back to counting entries.
  RepairBudget own_budget;
  bool searching = false;
  RepairControl control;
  control.running = running;
  control.budget = shared_budget != nullptr ? shared_budget : &own_budget;
  control.progress = [&](uint64_t done, uint64_t total) {
    if (!searching) {
      view.SetBarRange(Bar::kFile, kSearchBarRange);
      searching = true;
    }
    view.SetBarPos(Bar::kFile,
                   static_cast<int>(done * kSearchBarRange / std::max<uint64_t>(total, 1)));
  };
  // Opened once for all the entries; when it cannot be opened, no entry yields a file.
  platform::File damaged;
  if (n > 0) damaged = platform::File::OpenRead(damaged_path, platform::Sharing::kNone);
  InflateScratch own_scratch;
  InflateScratch& scratch = shared_scratch != nullptr ? *shared_scratch : own_scratch;
  for (size_t i = 0; i < n; ++i) {
    const RecoveredEntry& entry = entries[i];
    std::wstring path = entry.name;
    CreatePathDirectories(view, folder, path);
    // An entry without sizes has data up to the next local header at most: packages do not
    // nest entries. Read on to the end of the file instead, a file of many such headers
    // would be copied and inflated once per header, time and disk growing with its square.
    uint64_t unsized_limit = UINT64_MAX;
    if (entry.size_source == RecoveredEntry::SizeSource::kNone && i + 1 < n) {
      const uint64_t next = entries[i + 1].header_offset;
      unsized_limit = next > entry.data_offset ? next - entry.data_offset : 0;
    }
    outcomes.push_back(path.empty()
                           ? EntryOutcome{}
                           : ExtractEntry(damaged, path, entry, unsized_limit, control, &scratch));
    if (searching) {
      view.SetBarRange(Bar::kFile, BarUpper(count));
      searching = false;
    }
    view.SetBarPos(Bar::kFile, BarPosition(static_cast<int64_t>(i), count));
  }
  view.SetBarPos(Bar::kFile, BarPosition(count, count));
  return outcomes;
}

}  // namespace velmora
