#include "platform/asio/AsioBackgroundWorker.h"

#include <asio/post.hpp>

#include "platform/asio/ThreadPriority.h"

namespace tavrik {

AsioBackgroundWorker::AsioBackgroundWorker(asio::io_context& context)
    : context_(context), thread_([this] { Work(); }) {}

AsioBackgroundWorker::~AsioBackgroundWorker() {
  *alive_ = false;
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void AsioBackgroundWorker::Run(std::function<void()> job, std::function<void()> done) {
  ++pending_;
  {
    std::lock_guard lock(mutex_);
    jobs_.emplace_back(std::move(job), std::move(done));
  }
  wake_.notify_one();
}

void AsioBackgroundWorker::LowerPriority(WorkerPriority priority) {
  Run([priority] { LowerThisThreadsPriority(priority); }, nullptr);
}

void AsioBackgroundWorker::Work() {
  for (;;) {
    Job next;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // ending, and every job handed over has run
      next = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      next.first();
    } catch (...) {
      // A job that throws is done: the thread must live on for the next one.
    }
    asio::post(context_, [this, alive = alive_, done = std::move(next.second)] {
      if (!*alive) return;
      --pending_;
      if (done) done();
    });
  }
}

}  // namespace tavrik
