#include "engine/job/job_thread.h"

#include <utility>

namespace velmora {

JobThread::~JobThread() {
  Join();
}

bool JobThread::Start(Body body, OnEnd on_end) {
  if (thread_.joinable()) {
    if (!Ended()) return false;
    thread_.join();
  }
  end_ = JobEnd{};
  ended_.store(false, std::memory_order_release);
  try {
    thread_ = std::thread([this, body = std::move(body), on_end = std::move(on_end)]() noexcept {
      JobEnd end;
      try {
        end.result = body();
        end.completed = true;
      } catch (...) {
      }
      end_ = end;
      ended_.store(true, std::memory_order_release);
      if (on_end) {
        try {
          on_end(end);
        } catch (...) {
        }
      }
    });
  } catch (...) {
    // No thread could be made (std::system_error), or copying the callables ran out of memory.
    ended_.store(true, std::memory_order_release);
    return false;
  }
  return true;
}

void JobThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

}  // namespace velmora
