// The worker thread of the job that runs, owned by the frame: never detached. When the
// worker's function returns, a watcher posts kMsgJobEnded to the frame, which joins both
// threads there; closing waits (pumping messages, since the worker's calls to the window are
// synchronous messages) for a worker that is still finishing.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>

namespace velmora::ui {

inline constexpr UINT kMsgJobEnded = WM_APP + 2;

class JobWorker {
 public:
  JobWorker() = default;
  JobWorker(const JobWorker&) = delete;
  JobWorker& operator=(const JobWorker&) = delete;
  ~JobWorker();

  // Takes over a started worker; `notify` gets kMsgJobEnded when it has returned. A worker
  // that is not joinable (a command that refused to start) is ignored.
  void Adopt(std::thread worker, HWND notify);
  // A worker was adopted and not yet joined.
  bool alive() const { return watcher_.joinable(); }
  // Joins after kMsgJobEnded (or at once when no worker is alive).
  void Join();
  // Pumps messages until the worker has returned, then joins it.
  void WaitPumping();

 private:
  std::thread watcher_;
  std::shared_ptr<std::atomic<bool>> done_;
};

}  // namespace velmora::ui
