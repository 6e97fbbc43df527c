#include "events/HttpEventOutput.h"

#include <algorithm>

#include "events/EventRequests.h"

namespace tavrik {
namespace {

std::string FailureReason(const HttpOutcome& outcome) {
  if (outcome.status == 0) return outcome.error + ".";
  return "HTTP " + std::to_string(outcome.status) + ".";
}

}  // namespace

HttpEventOutput::HttpEventOutput(Platform& platform, EventOutputConfig config)
    : config_(std::move(config)),
      name_("event output " + config_.name),
      http_(platform.CreateHttpClient()),
      retry_(platform.CreateTimer()),
      outage_("events") {
  retry_->SetTickHandler([this] { OnRetryTick(); });
}

HttpEventOutput::~HttpEventOutput() = default;

void HttpEventOutput::Start() {
  if (state_ != State::kStopped) return;
  state_ = State::kIdle;
  SendNext();
}

void HttpEventOutput::Stop() {
  state_ = State::kStopped;
  retry_->Stop();
  if (inFlight_ != 0) http_->Cancel(inFlight_);
  inFlight_ = 0;
}

void HttpEventOutput::Deliver(const RuleEvent& event) {
  if (queue_.size() >= static_cast<size_t>(config_.queue)) {
    // The front one may be under way: the oldest waiting one goes.
    const auto oldest = queue_.begin() + (state_ == State::kSending ? 1 : 0);
    if (oldest == queue_.end()) return;
    queue_.erase(oldest);
    ++dropped_;
    outage_.Dropped();
  }
  OutgoingHttpRequest request = EventHttpRequest(config_, event);
  request.timeoutMs = kRequestTimeoutMs;
  queue_.push_back(std::move(request));
  if (state_ == State::kIdle) SendNext();
}

void HttpEventOutput::SendNext() {
  if (state_ != State::kIdle || queue_.empty()) return;
  state_ = State::kSending;
  inFlight_ = http_->Send(queue_.front(), [this](const HttpOutcome& outcome) { OnOutcome(outcome); });
}

void HttpEventOutput::OnOutcome(const HttpOutcome& outcome) {
  inFlight_ = 0;
  if (state_ != State::kSending) return;
  if (outcome.status >= 200 && outcome.status < 300) {
    queue_.pop_front();
    ++sent_;
    retryMs_ = kFirstRetryMs;
    if (failing_) outage_.Connected(name_);
    failing_ = false;
    state_ = State::kIdle;
    SendNext();
    return;
  }
  ++failures_;
  failing_ = true;
  outage_.Disconnected(name_, FailureReason(outcome));
  state_ = State::kWaitingToRetry;
  retry_->Start(retryMs_);
  retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
}

void HttpEventOutput::OnRetryTick() {
  retry_->Stop();
  if (state_ != State::kWaitingToRetry) return;
  state_ = State::kIdle;
  SendNext();
}

EventOutputCounters HttpEventOutput::Counters() const {
  return {!failing_, queue_.size(), sent_, dropped_, failures_};
}

}  // namespace tavrik
