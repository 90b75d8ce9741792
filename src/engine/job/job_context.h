// What a job's worker thread is handed: the stop flag of the main frame and the main view.
#pragma once

#include "engine/job/job_running.h"
#include "engine/job/job_window.h"
#include "engine/job/recovery_observer.h"

namespace velmora {

class InflateScratch;
class SaveClaims;

// Everything here is owned by the front end and outlives the worker: the front end joins the
// worker (JobThread) before any of it goes.
struct JobContext {
  JobRunning* job_running = nullptr;     // owned by the main frame
  JobWindow* view = nullptr;             // the main view
  RecoveryObserver* observer = nullptr;  // the command line's report and exit status, or none
  // -1: the job handles every file of the list. Otherwise the one list position the job
  // handles, as it would in a run of the whole list; the other items get no lines and stay as
  // they are. The command line runs several files side by side this way, each with a window of
  // its own.
  int only_file = -1;
  // The temporary file that the repair job's inflated entries share, kept by a front end that
  // runs the job once per file (the command line's workers), or none: each run of the job
  // then has one of its own.
  InflateScratch* scratch = nullptr;
  // The package and media-folder names the save jobs of one run have taken, shared by a front
  // end that runs the save job once per file (the command line's workers), or none: each run of
  // the job then keeps its own.
  SaveClaims* claims = nullptr;
};

// True when the job of `context` handles the file at list position `index`.
inline bool HandlesFile(const JobContext& context, int index) {
  return context.only_file < 0 || context.only_file == index;
}

}  // namespace velmora
