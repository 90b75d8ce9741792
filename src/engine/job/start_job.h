// Starting a job's worker on the thread its front end owns.
#pragma once

#include "engine/job/job_context.h"
#include "engine/job/job_thread.h"
#include "engine/job/workflow_steps.h"

namespace velmora {

using JobWorker = unsigned (*)(JobContext context);

// Starts `worker(context)` on `thread`. Should the worker end by an exception (it has no
// other way to fail; bad_alloc is the one expected), the window must not stay in its running
// state with JobRunning set, which would keep the program from ever being closed: JobRunning
// is cleared and `ended` applied before the end is announced (JobEnd::completed false), so
// the front end only has to tell the user. False when no worker could be started (see
// JobThread::Start).
bool StartJob(const JobContext& context, JobThread& thread, JobWorker worker, WorkflowStep ended,
              JobThread::OnEnd on_end);

}  // namespace velmora
