#include "platform/fake/FakePlatform.h"

#include <algorithm>

namespace tavrik {

std::unique_ptr<Timer> FakePlatform::CreateTimer() { return std::make_unique<FakeTimer>(*this); }

std::unique_ptr<Socket> FakePlatform::CreateSocket() {
  auto socket = std::make_unique<FakeSocket>(*this);
  sockets_.push_back(socket.get());
  return socket;
}

std::unique_ptr<SerialPort> FakePlatform::CreateSerialPort() {
  auto port = std::make_unique<FakeSerialPort>();
  serial_ = port.get();
  return port;
}

std::unique_ptr<SpoolFile> FakePlatform::OpenSpoolFile(const std::string& path) {
  return std::make_unique<FakeSpoolFile>(spools_[path]);
}

std::unique_ptr<BackgroundWorker> FakePlatform::CreateWorker() {
  auto worker = std::make_unique<FakeBackgroundWorker>(*this, Loop());
  workers_.push_back(worker.get());
  return worker;
}

std::unique_ptr<HttpClient> FakePlatform::CreateHttpClient() {
  auto client = std::make_unique<FakeHttpClient>(*this, Loop());
  httpClients_.push_back(client.get());
  return client;
}

void FakePlatform::Unregister(FakeHttpClient* client) {
  httpClients_.erase(std::remove(httpClients_.begin(), httpClients_.end(), client), httpClients_.end());
}

void FakePlatform::Unregister(FakeBackgroundWorker* worker) {
  workers_.erase(std::remove(workers_.begin(), workers_.end(), worker), workers_.end());
}

void FakePlatform::Unregister(FakeTimer* timer) {
  timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

void FakePlatform::Unregister(FakeSocket* socket) {
  sockets_.erase(std::remove(sockets_.begin(), sockets_.end(), socket), sockets_.end());
}

FakeTimer* FakePlatform::NextDue(int64_t until) const {
  FakeTimer* next = nullptr;
  for (FakeTimer* timer : timers_) {
    if (!timer->IsRunning() || timer->Deadline() > until) continue;
    if (!next || timer->Deadline() < next->Deadline() ||
        (timer->Deadline() == next->Deadline() && timer->Sequence() < next->Sequence()))
      next = timer;
  }
  return next;
}

void FakePlatform::Advance(int64_t ms) {
  const int64_t until = nowMs_ + ms;
  RunPosted();
  while (FakeTimer* timer = NextDue(until)) {
    nowMs_ = std::max(nowMs_, timer->Deadline());  // overdue after a stall: fired late
    timer->Fire();
    RunPosted();
  }
  nowMs_ = std::max(nowMs_, until);  // a stall may have moved it further
}

void FakePlatform::RunPending() {
  RunPosted();
  while (FakeTimer* timer = NextDue(nowMs_)) {
    timer->Fire();
    RunPosted();
  }
}

void FakePlatform::RunPosted() {
  while (!posted_.empty()) {
    auto handler = std::move(posted_.front());
    posted_.pop_front();
    handler();
  }
}

}  // namespace tavrik
