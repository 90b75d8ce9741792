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
unsigned SaveWorker(JobContext context);

// "VONDRELREP_" + the file's name, in the destination. A further document of the file
// (`document` >= 1) gets its DocumentSuffix and ".ods" after that: "VONDRELREP_Budget.ods~2.ods".
std::wstring PackagePath(const std::wstring& destination, const std::wstring& listed_path,
                         size_t document = 0);
// The file's name + "_MediaContent", in the destination; for a further document the file's name
// and its DocumentSuffix: "Budget.ods~2_MediaContent".
std::wstring MediaFolderPath(const std::wstring& destination, const std::wstring& listed_path,
                             size_t document = 0);

}  // namespace velmora
