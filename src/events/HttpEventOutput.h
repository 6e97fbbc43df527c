#pragma once
// An event output over HTTP (webhook, frigate, nx): events go out one at a
// time, in order; a failed one (no answer, or an answer other than 2xx) is
// tried again after a delay that doubles from kFirstRetryMs to kLastRetryMs,
// while newer events wait in a bounded queue (the oldest dropped first).
// One log line when an outage begins, with its reason, and one when events
// get through again. Owns its HTTP client and timer; event thread only.
#include <deque>
#include <memory>
#include <string>

#include "events/EventOutput.h"
#include "events/EventOutputConfig.h"
#include "outputs/OutageLog.h"
#include "platform/Platform.h"

namespace tavrik {

class HttpEventOutput final : public EventOutput {
 public:
  static constexpr int kFirstRetryMs = 1000;
  static constexpr int kLastRetryMs = 30000;
  static constexpr int kRequestTimeoutMs = 10000;

  HttpEventOutput(Platform& platform, EventOutputConfig config);
  ~HttpEventOutput() override;

  void Start() override;
  void Stop() override;
  void Deliver(const RuleEvent& event) override;
  const std::string& Name() const override { return name_; }
  EventOutputCounters Counters() const override;

 private:
  enum class State { kStopped, kIdle, kSending, kWaitingToRetry };

  void SendNext();
  void OnOutcome(const HttpOutcome& outcome);
  void OnRetryTick();

  const EventOutputConfig config_;
  const std::string name_;
  std::unique_ptr<HttpClient> http_;
  std::unique_ptr<Timer> retry_;
  State state_ = State::kStopped;
  uint64_t inFlight_ = 0;
  std::deque<OutgoingHttpRequest> queue_;  // the front one is under way or retried
  int retryMs_ = kFirstRetryMs;
  bool failing_ = false;
  uint64_t sent_ = 0;
  uint64_t dropped_ = 0;
  uint64_t failures_ = 0;
  OutageLog outage_;
};

}  // namespace tavrik
