// The worker thread of a job, owned by the front end that started it and joined, never
// detached: nothing the worker uses (the window, JobRunning, the observer) can be destroyed
// while it still runs.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace velmora {

// How a worker ended.
struct JobEnd {
  bool completed = false;  // the body returned; false when it ended by an exception
  unsigned result = 0;     // what the body returned (0 when it did not complete)
};

class JobThread {
 public:
  using Body = std::function<unsigned()>;
  // The worker's last act, on the worker thread: the window posts its "job ended" message
  // here, so that the user-interface thread joins the worker once nothing more is coming.
  using OnEnd = std::function<void(const JobEnd& end)>;

  JobThread() = default;
  // Joins the worker. The owner must not wait here on the user-interface thread while the
  // worker may still be carrying calls over to that thread: join only after the end was
  // announced (or when the owner itself carries out the window calls, as the tests do).
  ~JobThread();
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // Starts `body` on a new thread. The thread runs the body, catching whatever it throws (an
  // exception must not end the program from a worker), records the end, then calls `on_end`
  // when one is given (exceptions from it are caught too). A previous worker that has
  // announced its end is joined first. False, with nothing started and `on_end` never called,
  // while a previous worker still runs or when no thread can be made.
  bool Start(Body body, OnEnd on_end = nullptr);

  // Waits for the worker to end; returns at once when none runs. Never from the worker itself.
  void Join();

  // A worker was started and has not been joined yet.
  bool Joinable() const { return thread_.joinable(); }
  // The worker has ended its body (it may still be in on_end); always true once joined.
  bool Ended() const { return ended_.load(std::memory_order_acquire); }
  // How the last worker ended; meaningful once Ended().
  JobEnd end() const { return end_; }

 private:
  std::thread thread_;
  std::atomic<bool> ended_{true};
  JobEnd end_;
};

}  // namespace velmora
