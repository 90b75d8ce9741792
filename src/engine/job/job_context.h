// What a job's worker thread is handed: the stop flag of the main frame and the main view.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/job/job_window.h"
#include "engine/job/recovery_observer.h"

namespace velmora {

// 1 while a job runs and no stop has been asked for; 0 when idle or after a confirmed Stop.
// Both threads touch it without a lock; the scanner reads it afresh at every byte position.
using JobRunning = std::atomic<int32_t>;

struct JobContext {
  JobRunning* job_running = nullptr;     // owned by the main frame
  JobWindow* view = nullptr;             // the main view
  RecoveryObserver* observer = nullptr;  // the command line's report, when asked for
};

}  // namespace velmora
