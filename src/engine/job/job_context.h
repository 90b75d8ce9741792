// What a job's worker thread is handed: the stop flag of the main frame and the main view.
#pragma once

#include "engine/job/job_running.h"
#include "engine/job/job_window.h"
#include "engine/job/recovery_observer.h"

namespace velmora {

// Everything here is owned by the front end and outlives the worker: the front end joins the
// worker (JobThread) before any of it goes.
struct JobContext {
  JobRunning* job_running = nullptr;     // owned by the main frame
  JobWindow* view = nullptr;             // the main view
  RecoveryObserver* observer = nullptr;  // the command line's report and exit status, or none
};

}  // namespace velmora
