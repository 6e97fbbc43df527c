#pragma once
// Whether a cash drawer stays open too long, from the levels of the
// printer's drawer connector that its status replies report. Pure: fed with
// levels and the time (ms), it says when to look again and what happened.
//
//   closed --open seen--> open --deadline passed--> reported --closed seen--> closed
//                          \--closed seen (in time: nothing)--> closed
// An open drawer is timed from the first reply that shows it open.
#include <cstdint>
#include <optional>

namespace tavrik {

enum class DrawerEventKind { kOpen, kClosed };

struct DrawerEvent {
  DrawerEventKind kind = DrawerEventKind::kOpen;
  int64_t openMs = 0;  // how long it has been open
};

class DrawerWatch {
 public:
  DrawerWatch(int64_t thresholdMs, bool openHigh) : thresholdMs_(thresholdMs), openHigh_(openHigh) {}

  std::optional<DrawerEvent> OnLevel(bool high, int64_t nowMs);
  std::optional<DrawerEvent> OnTime(int64_t nowMs);
  // When OnTime has something to say; none while closed or reported.
  std::optional<int64_t> Deadline() const;

 private:
  enum class State { kClosed, kOpen, kReported };

  const int64_t thresholdMs_;
  const bool openHigh_;
  State state_ = State::kClosed;
  int64_t sinceMs_ = 0;
};

}  // namespace tavrik
