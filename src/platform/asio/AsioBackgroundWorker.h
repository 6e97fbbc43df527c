#pragma once
// The real worker: one thread of its own, a queue of jobs, completions
// posted to the event thread's io_context.
#include <asio/io_context.hpp>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/BackgroundWorker.h"

namespace tavrik {

class AsioBackgroundWorker final : public BackgroundWorker {
 public:
  explicit AsioBackgroundWorker(asio::io_context& context);
  ~AsioBackgroundWorker() override;
  AsioBackgroundWorker(const AsioBackgroundWorker&) = delete;
  AsioBackgroundWorker& operator=(const AsioBackgroundWorker&) = delete;

  void Run(std::function<void()> job, std::function<void()> done) override;
  size_t Pending() const override { return pending_; }
  void LowerPriority(WorkerPriority priority) override;

 private:
  using Job = std::pair<std::function<void()>, std::function<void()>>;
  void Work();

  asio::io_context& context_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;  // guarded by mutex_
  bool ending_ = false;   // guarded by mutex_
  size_t pending_ = 0;    // event thread only
  // Read and cleared on the event thread only: completions posted before the
  // worker went away must not run.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::thread thread_;
};

}  // namespace tavrik
