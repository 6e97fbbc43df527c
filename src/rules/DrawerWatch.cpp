#include "rules/DrawerWatch.h"

namespace tavrik {

std::optional<DrawerEvent> DrawerWatch::OnLevel(bool high, int64_t nowMs) {
  const bool open = high == openHigh_;
  switch (state_) {
    case State::kClosed:
      if (open) {
        state_ = State::kOpen;
        sinceMs_ = nowMs;
      }
      return std::nullopt;
    case State::kOpen:
      if (open) return OnTime(nowMs);  // a late timer: the reply shows it first
      state_ = State::kClosed;
      return std::nullopt;
    case State::kReported:
      if (open) return std::nullopt;
      state_ = State::kClosed;
      return DrawerEvent{DrawerEventKind::kClosed, nowMs - sinceMs_};
  }
  return std::nullopt;
}

std::optional<DrawerEvent> DrawerWatch::OnTime(int64_t nowMs) {
  if (state_ != State::kOpen || nowMs - sinceMs_ < thresholdMs_) return std::nullopt;
  state_ = State::kReported;
  return DrawerEvent{DrawerEventKind::kOpen, nowMs - sinceMs_};
}

std::optional<int64_t> DrawerWatch::Deadline() const {
  if (state_ != State::kOpen) return std::nullopt;
  return sinceMs_ + thresholdMs_;
}

}  // namespace tavrik
