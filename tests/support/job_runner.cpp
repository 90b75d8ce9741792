#include "support/job_runner.h"

#include <gtest/gtest.h>

#include "engine/job/repair_job.h"
#include "output/save_job.h"

namespace velmora::test {

JobEnd RunRepairJob(const JobContext& context) {
  JobThread worker;
  EXPECT_TRUE(OnRepairFiles(context, worker));
  worker.Join();
  return worker.end();
}

JobEnd RunSaveJob(const JobContext& context) {
  JobThread worker;
  if (!OnSaveFiles(context, worker)) return {};
  worker.Join();
  return worker.end();
}

}  // namespace velmora::test
