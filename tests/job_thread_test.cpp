// Workers that are owned and joined: the end is announced whatever the body does, a second
// worker waits for the first, and the owner's destructor joins.
#include "engine/job/job_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

namespace velmora {
namespace {

// A one-way signal between threads, waited for with a bound so that a fault fails the test
// instead of hanging it.
class Latch {
 public:
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool Wait() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

TEST(JobThread, EveryWayOfEndingIsAnnouncedOnTheWorkerAndJoined) {
  struct Case {
    const char* what;
    JobThread::Body body;
    JobEnd expected;
  };
  const Case cases[] = {
      {"returns", [] { return 7u; }, {true, 7}},
      {"throws bad_alloc", []() -> unsigned { throw std::bad_alloc(); }, {false, 0}},
      {"throws anything", []() -> unsigned { throw 42; }, {false, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JobThread worker;
    JobEnd announced;
    std::thread::id announced_on;
    ASSERT_TRUE(worker.Start(c.body, [&](const JobEnd& end) {
      announced = end;
      announced_on = std::this_thread::get_id();
    }));
    worker.Join();
    EXPECT_FALSE(worker.Joinable());
    EXPECT_TRUE(worker.Ended());
    EXPECT_EQ(announced.completed, c.expected.completed);
    EXPECT_EQ(announced.result, c.expected.result);
    EXPECT_EQ(worker.end().completed, c.expected.completed);
    EXPECT_NE(announced_on, std::this_thread::get_id());
    EXPECT_NE(announced_on, std::thread::id());
  }
}

TEST(JobThread, AnEndHandlerThatThrowsDoesNotEndTheProgram) {
  JobThread worker;
  ASSERT_TRUE(
      worker.Start([] { return 1u; }, [](const JobEnd&) { throw std::runtime_error("x"); }));
  worker.Join();
  EXPECT_TRUE(worker.end().completed);
}

TEST(JobThread, ASecondWorkerWaitsUntilTheFirstHasAnnouncedItsEnd) {
  JobThread worker;
  Latch release;
  Latch announced;
  ASSERT_TRUE(worker.Start(
      [&] {
        release.Wait();
        return 1u;
      },
      [&](const JobEnd&) { announced.Open(); }));
  EXPECT_FALSE(worker.Ended());
  EXPECT_FALSE(worker.Start([] { return 2u; })) << "the first one still runs";
  release.Open();
  ASSERT_TRUE(announced.Wait());
  // Ended but not joined yet, as when the window's "job ended" message is still queued.
  EXPECT_TRUE(worker.Joinable());
  ASSERT_TRUE(worker.Start([] { return 2u; }));
  worker.Join();
  EXPECT_EQ(worker.end().result, 2u);
}

TEST(JobThread, TheOwnerJoinsTheWorkerBeforeItGoes) {
  // The worker uses an object of the owner's until its very end.
  struct Owner {
    int used = 0;
    JobThread worker;  // declared last, so destroyed (joined) first
  };
  Latch started;
  int seen = 0;
  {
    Owner owner;
    ASSERT_TRUE(owner.worker.Start([&] {
      started.Open();
      for (int i = 0; i < 100000; ++i) ++owner.used;
      seen = owner.used;
      return 0u;
    }));
    ASSERT_TRUE(started.Wait());
  }
  EXPECT_EQ(seen, 100000);
}

TEST(JobThread, JoinWithoutAWorkerReturnsAtOnce) {
  JobThread worker;
  worker.Join();
  EXPECT_FALSE(worker.Joinable());
  EXPECT_TRUE(worker.Ended());
}

}  // namespace
}  // namespace velmora
