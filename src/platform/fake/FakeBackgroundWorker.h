#pragma once
// Simulated worker: each job runs, then its completion, as a posted handler
// of the simulated loop, in order. A test can hold the jobs (a disk that
// does not answer) and release them later.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/BackgroundWorker.h"
#include "platform/EventLoop.h"

namespace tavrik {

class FakePlatform;

class FakeBackgroundWorker final : public BackgroundWorker {
 public:
  FakeBackgroundWorker(FakePlatform& platform, EventLoop& loop) : platform_(platform), loop_(loop) {}
  ~FakeBackgroundWorker() override;

  void Run(std::function<void()> job, std::function<void()> done) override;
  size_t Pending() const override { return jobs_.size(); }
  void LowerPriority(WorkerPriority priority) override { priority_ = priority; }

  // While held, jobs wait; Release lets them run at the loop's next turn.
  void Hold() { held_ = true; }
  void Release();
  int JobsRun() const { return jobsRun_; }
  std::optional<WorkerPriority> Priority() const { return priority_; }

 private:
  void RunNext();

  FakePlatform& platform_;
  EventLoop& loop_;
  std::deque<std::pair<std::function<void()>, std::function<void()>>> jobs_;
  bool held_ = false;
  std::optional<WorkerPriority> priority_;
  int jobsRun_ = 0;
  // Shared with the posted turns, which must not run once the worker is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrik
