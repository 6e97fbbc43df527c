#include "platform/fake/FakeHttpClient.h"

#include "platform/fake/FakePlatform.h"

namespace tavrik {

FakeHttpClient::~FakeHttpClient() {
  *alive_ = false;
  platform_.Unregister(this);
}

uint64_t FakeHttpClient::Send(OutgoingHttpRequest request, Completion done) {
  sent_.push_back(request);
  waiting_.emplace(++lastId_, Exchange{std::move(request), std::move(done)});
  return lastId_;
}

std::vector<uint64_t> FakeHttpClient::Waiting() const {
  std::vector<uint64_t> ids;
  for (const auto& [id, waiting] : waiting_) ids.push_back(id);
  return ids;
}

void FakeHttpClient::Answer(uint64_t id, HttpOutcome outcome) {
  const auto it = waiting_.find(id);
  if (it == waiting_.end()) return;
  Completion done = std::move(it->second.done);
  waiting_.erase(it);
  loop_.Post([alive = alive_, done = std::move(done), outcome = std::move(outcome)] {
    if (*alive && done) done(outcome);
  });
}

}  // namespace tavrik
