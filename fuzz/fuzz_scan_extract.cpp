// Scan and extraction of arbitrary bytes, through the repair job as the window runs it.
//
// Each input is written as a damaged file, repaired into the working folder and then
// discarded. Fails (abort) when the job does not complete, when anything appears outside the
// scratch folder, when the file folder holds a file that no entry names (other than what package
// completion may write) or one larger than its entry can give (CheckExtracted), when a temporary
// file stays behind, or when the working folder cannot be discarded completely. Crashes, leaks,
// hangs and memory out of proportion to the input are the sanitizers' and libFuzzer's to report
// (run with -rss_limit_mb and -timeout).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/extract/byte_repair.h"
#include "engine/job/job_context.h"
#include "engine/job/repair_job.h"
#include "engine/job/working_folder.h"
#include "engine/scan/document_split.h"
#include "fuzz_support.h"
#include "null_window.h"
#include "platform/platform.h"

namespace velmora::fuzz {
namespace {

GuardedScratch* scratch = nullptr;

void RemoveScratch() {
  delete scratch;
  scratch = nullptr;
}

void RunOne(const uint8_t* data, size_t size) {
  const std::wstring input = scratch->Path(L"damaged.ods");
  if (!WriteWholeFile(input, data, size)) Fail("cannot write the input file", input);

  NullWindow window;
  window.files.push_back({input, kImageAdded, 0});
  JobRunning running{1};
  CompletionLog completion;
  const JobContext context{&running, &window, &completion};
  RepairWorker(context);
  if (!window.repair_completed) Fail("the repair job did not complete");

  // The file folder of list position 0, and one beside it for each further document the
  // file held (at most kMaxDocuments in all, numbered from 2 without a gap).
  const std::set<std::wstring> work_items = ItemsOf(scratch->work());
  if (work_items.empty() || work_items.size() > kMaxDocuments) {
    Fail("the working folder holds no file folder, or more than a file gives");
  }
  for (size_t d = 0; d < work_items.size(); ++d) {
    const std::wstring name = L"damaged.ods0" + DocumentSuffix(d);
    if (work_items.count(name) == 0) Fail("the working folder holds more than the file folders");
    CheckExtracted(scratch->work() + platform::kSeparator + name, window.entries,
                   completion.Written(d), size);
  }

  DiscardWorkingFolder(window);
  if (platform::PathExists(scratch->work())) {
    Fail("the working folder is still there after it was discarded");
  }
  scratch->Check({L"damaged.ods", L"tmp"});
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // An input whose entries fail their CRC-32 may spend a whole correction budget; under the
  // sanitizers the default one takes longer than the fuzzer's time limit per input.
  velmora::SetRepairWorkPerFile(velmora::kDefaultRepairWork / 32);
  velmora::fuzz::scratch = new velmora::fuzz::GuardedScratch("velmora-fuzz-scan");
  atexit(velmora::fuzz::RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmora::fuzz::RunOne(data, size);
  return 0;
}
