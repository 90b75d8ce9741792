// The repair job: scans and extracts every listed file on one worker thread.
#pragma once

#include "engine/job/job_context.h"
#include "engine/job/job_thread.h"

namespace velmora {

// Handler of "Repair files", on the user-interface thread: discards the working folder, puts
// the window into its running state (WorkflowStep::kRepairStarted), sets JobRunning and starts
// RepairWorker on `worker`, which the front end owns and joins; `on_end` is the worker's last
// act (JobThread::Start). Returns false, changing nothing, while the previous worker has not
// announced its end, and false when no thread could be started, the window then put back as
// at the end of a run and JobRunning cleared.
bool OnRepairFiles(const JobContext& context, JobThread& worker, JobThread::OnEnd on_end = nullptr);

// The worker: repairs every item of the file list, then puts the window back
// (WorkflowStep::kRepairEnded) and clears JobRunning. Returns 1.
unsigned RepairWorker(JobContext context);

// Handler of "Stop": asks for confirmation and, on Yes, disables Stop and clears JobRunning.
// Serves the save job too.
void OnStop(const JobContext& context);

}  // namespace velmora
