// The save job: packs every repaired file's folder into a new package in the destination.
#pragma once

#include <thread>

#include "engine/job/job_context.h"

namespace velmora {

// Handler of "Save...": refuses while a job runs, otherwise starts SaveWorker. Returns the
// worker thread, or an empty one when it refused.
std::thread OnSaveFiles(const JobContext& context);

// The worker. Returns 1 when the run went through, 0 when the destination was refused.
unsigned SaveWorker(JobContext context);

// "VONDRELREP_" + the file's name, in the destination.
std::wstring PackagePath(const std::wstring& destination, const std::wstring& listed_path);
// The file's name + "_MediaContent", in the destination.
std::wstring MediaFolderPath(const std::wstring& destination, const std::wstring& listed_path);

}  // namespace velmora
