// The stop flag of a running job, on its own so that the scanner and the size probes can read
// it without seeing the window.
#pragma once

#include <atomic>
#include <cstdint>

namespace velmora {

// 1 while a job runs and no stop has been asked for; 0 when idle or after a confirmed Stop.
// The one value the user-interface thread and a worker both touch without a window call and
// without a lock: "Repair files" sets it before its worker starts, the save worker once it
// has accepted the destination, a confirmed Stop clears it, and each worker clears it at its
// end. The scanner reads it afresh at every byte position.
using JobRunning = std::atomic<int32_t>;

}  // namespace velmora
