// The repair job: scans and extracts every listed file on one worker thread.
#pragma once

#include <thread>

#include "engine/job/job_context.h"

namespace velmora {

// Handler of "Repair files", on the user-interface thread: discards the working folder, puts
// the window into its running state, sets JobRunning and starts RepairWorker. Returns the
// worker thread (the window detaches it; the command line and the tests join it).
std::thread OnRepairFiles(const JobContext& context);

// The worker: repairs every item of the file list. Returns 1.
unsigned RepairWorker(JobContext context);

// Handler of "Stop": asks for confirmation and, on Yes, disables Stop and clears JobRunning.
// Serves the save job too.
void OnStop(const JobContext& context);

}  // namespace velmora
