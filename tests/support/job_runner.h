// Runs a job the way a front end does: the handler on this thread, the worker on a JobThread
// owned here, joined before returning.
#pragma once

#include "engine/job/job_context.h"
#include "engine/job/job_thread.h"

namespace velmora::test {

// OnRepairFiles, then the worker to its end. Fails the test when no worker starts.
JobEnd RunRepairJob(const JobContext& context);
// OnSaveFiles, then the worker to its end. Returns JobEnd{} (not completed) when the handler
// refused to start one.
JobEnd RunSaveJob(const JobContext& context);

}  // namespace velmora::test
