#include "engine/job/start_job.h"

#include <utility>

namespace velmora {

bool StartJob(const JobContext& context, JobThread& thread, JobWorker worker, WorkflowStep ended,
              JobThread::OnEnd on_end) {
  return thread.Start(
      [context, worker, ended]() -> unsigned {
        try {
          return worker(context);
        } catch (...) {
          context.job_running->store(0);
          try {
            ApplyStep(*context.view, ended);
          } catch (...) {
            // The window could not be put back either; the end is announced all the same.
          }
          throw;
        }
      },
      std::move(on_end));
}

}  // namespace velmora
