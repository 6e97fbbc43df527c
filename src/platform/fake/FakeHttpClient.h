#pragma once
// Simulated HTTP client: requests wait until the test answers them, as a
// server would (or never, as one that is down until the request's timeout);
// completions run as posted handlers of the simulated loop.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/HttpClient.h"

namespace tavrik {

class FakePlatform;

class FakeHttpClient final : public HttpClient {
 public:
  FakeHttpClient(FakePlatform& platform, EventLoop& loop) : platform_(platform), loop_(loop) {}
  ~FakeHttpClient() override;

  uint64_t Send(OutgoingHttpRequest request, Completion done) override;
  void Cancel(uint64_t id) override { waiting_.erase(id); }
  size_t Active() const override { return waiting_.size(); }

  // --- the test, as the server ---
  // The requests under way, oldest first.
  std::vector<uint64_t> Waiting() const;
  const OutgoingHttpRequest& Request(uint64_t id) const { return waiting_.at(id).request; }
  // Every request ever sent, in order (answered or not).
  const std::vector<OutgoingHttpRequest>& Sent() const { return sent_; }
  // Answers request id (status 0: it failed with outcome.error).
  void Answer(uint64_t id, HttpOutcome outcome);

 private:
  struct Exchange {
    OutgoingHttpRequest request;
    Completion done;
  };

  FakePlatform& platform_;
  EventLoop& loop_;
  std::map<uint64_t, Exchange> waiting_;
  std::vector<OutgoingHttpRequest> sent_;
  uint64_t lastId_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrik
