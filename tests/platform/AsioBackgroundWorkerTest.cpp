#include "platform/asio/AsioBackgroundWorker.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/asio/AsioPlatform.h"

namespace tavrik {
namespace {

// Jobs run in order off the event thread; completions run on it, in order,
// and a job that throws still completes and leaves the worker working.
TEST(AsioBackgroundWorkerTest, RunsJobsInOrderOffTheEventThreadAndCompletesOnIt) {
  AsioPlatform platform("/tmp");
  auto worker = platform.CreateWorker();
  const auto eventThread = std::this_thread::get_id();
  std::vector<int> jobs;  // written by the worker only, read after its completions
  std::vector<int> done;
  bool offThread = true;
  bool onThread = true;
  for (int i = 0; i < 20; ++i) {
    worker->Run(
        [&, i] {
          offThread = offThread && std::this_thread::get_id() != eventThread;
          jobs.push_back(i);
          if (i == 7) throw std::runtime_error("a failing job");
        },
        [&, i] {
          onThread = onThread && std::this_thread::get_id() == eventThread;
          done.push_back(i);
          if (done.size() == 20) platform.Stop();
        });
  }
  EXPECT_EQ(worker->Pending(), 20u);
  platform.Run();
  EXPECT_TRUE(offThread);
  EXPECT_TRUE(onThread);
  EXPECT_EQ(worker->Pending(), 0u);
  std::vector<int> expected;
  for (int i = 0; i < 20; ++i) expected.push_back(i);
  EXPECT_EQ(jobs, expected);
  EXPECT_EQ(done, expected);
}

// Each worker's own thread is lowered, the caller's left as it was.
TEST(AsioBackgroundWorkerTest, LowersOnlyItsOwnThread) {
  AsioPlatform platform("/tmp");
  const auto niceOfThisThread = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); };
  const int callerNice = niceOfThisThread();
  auto belowNormal = platform.CreateWorker();
  auto idle = platform.CreateWorker();
  belowNormal->LowerPriority(WorkerPriority::kBelowNormal);
  idle->LowerPriority(WorkerPriority::kIdle);
  int nice = 0;
  int policy = -1;
  int idleNice = 0;
  int done = 0;
  const auto finish = [&] {
    if (++done == 2) platform.Stop();
  };
  belowNormal->Run([&] { nice = niceOfThisThread(); }, finish);
  idle->Run(
      [&] {
        policy = sched_getscheduler(0);
        idleNice = niceOfThisThread();
      },
      finish);
  platform.Run();
  EXPECT_EQ(nice, callerNice <= 10 ? 10 : callerNice) << "nice 10, unless the caller was nicer";
  EXPECT_EQ(policy, SCHED_IDLE);
  EXPECT_EQ(idleNice, callerNice);
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
  EXPECT_EQ(niceOfThisThread(), callerNice);
}

// What was handed over is never lost: destroying the worker waits for its
// queued jobs, and their completions, which would find their owner gone, do
// not run.
TEST(AsioBackgroundWorkerTest, DestructionRunsQueuedJobsButNoCompletion) {
  AsioPlatform platform("/tmp");
  std::atomic<int> ran = 0;
  int completed = 0;
  {
    auto worker = platform.CreateWorker();
    for (int i = 0; i < 5; ++i) {
      worker->Run(
          [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ++ran;
          },
          [&] { ++completed; });
    }
  }
  EXPECT_EQ(ran.load(), 5);
  platform.Loop().RunPending();
  EXPECT_EQ(completed, 0);
}

}  // namespace
}  // namespace tavrik
