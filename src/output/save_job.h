// The save job: packs every repaired file's folder into a new package in the destination.
#pragma once

#include <cstddef>
#include <string>

#include "engine/job/job_context.h"
#include "engine/job/job_thread.h"

namespace velmora {

// Handler of "Save...": refuses with a message while JobRunning is set, otherwise starts
// SaveWorker on `worker`, which the front end owns and joins; `on_end` is the worker's last
// act (JobThread::Start). True when the worker was started; false when it refused, while the
// previous worker has not announced its end, or when no thread could be started.
bool OnSaveFiles(const JobContext& context, JobThread& worker, JobThread::OnEnd on_end = nullptr);

// The worker. Returns 1 when the run went through, 0 when the destination was refused (nothing
// else changed then). A run puts the window into WorkflowStep::kSaveStarted, saves, puts it
// back (kSaveEnded), clears JobRunning and waits for the final message box; the observer, when
// there is one, hears of every listed file, saved or not.
//
// Nothing the run writes replaces what it wrote itself: two listed files of the same name are
// saved under distinct names (SaveNames). A package that was there before the run is replaced
// only when the window says so (a question with Yes, "Yes to all" and No); otherwise the file
// is saved under the next free name, and the log says so. Items with data kItemLost, and
// documents whose verdict is Verdict::kLost, get no package; their pictures are still copied
// out when "Extract Media.." is ticked. Stop leaves the items not reached as they are.
unsigned SaveWorker(JobContext context);

// "VONDRELREP_" + `name` (the name the file is saved under, SaveNames), in the destination; a
// further document (`document` >= 1) gets its DocumentSuffix and ".ods" after that.
std::wstring PackageNamed(const std::wstring& destination, const std::wstring& name,
                          size_t document = 0);
// `name` + DocumentSuffix + "_MediaContent", in the destination.
std::wstring MediaFolderNamed(const std::wstring& destination, const std::wstring& name,
                              size_t document = 0);

// What a save run did, for its closing line and final message: the files it handled, those
// saved (a package for each document not lost), those whose pictures did not all come out, and
// whether Stop ended it.
struct SaveCounts {
  int files = 0;
  int saved = 0;
  int media_failed = 0;
  bool stopped = false;
};

// "Saving processing completed: N saved, N not saved....\r\n", which starts with this.
inline constexpr const wchar_t* kSaveClosingStart = L"Saving processing completed";
std::wstring SaveClosingLine(int saved, int not_saved);

// The final message of a run, whose destination was typed as `shown`, and its flags: the
// information box of a run that saved every file whole, else a warning that says how many of
// how many were saved, whether Stop ended the run and whether pictures failed.
std::wstring FinalSaveMessage(const SaveCounts& counts, const std::wstring& shown, unsigned* flags);

// "VONDRELREP_" + the file's name, in the destination. A further document of the file
// (`document` >= 1) gets its DocumentSuffix and ".ods" after that: "VONDRELREP_Budget.ods~2.ods".
std::wstring PackagePath(const std::wstring& destination, const std::wstring& listed_path,
                         size_t document = 0);
// The file's name + "_MediaContent", in the destination; for a further document the file's name
// and its DocumentSuffix: "Budget.ods~2_MediaContent".
std::wstring MediaFolderPath(const std::wstring& destination, const std::wstring& listed_path,
                             size_t document = 0);

}  // namespace velmora
