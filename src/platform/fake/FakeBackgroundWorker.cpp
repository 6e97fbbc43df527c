#include "platform/fake/FakeBackgroundWorker.h"

#include "platform/fake/FakePlatform.h"

namespace tavrik {

FakeBackgroundWorker::~FakeBackgroundWorker() {
  *alive_ = false;
  // As the real worker does, the jobs handed over still run; their completions do not.
  for (auto& [job, done] : jobs_) job();
  platform_.Unregister(this);
}

void FakeBackgroundWorker::Run(std::function<void()> job, std::function<void()> done) {
  jobs_.emplace_back(std::move(job), std::move(done));
  if (!held_) loop_.Post([this, alive = alive_] { if (*alive) RunNext(); });
}

void FakeBackgroundWorker::Release() {
  held_ = false;
  for (size_t i = 0; i < jobs_.size(); ++i) loop_.Post([this, alive = alive_] { if (*alive) RunNext(); });
}

void FakeBackgroundWorker::RunNext() {
  if (held_ || jobs_.empty()) return;
  auto [job, done] = std::move(jobs_.front());
  jobs_.pop_front();
  ++jobsRun_;
  job();
  done();
}

}  // namespace tavrik
