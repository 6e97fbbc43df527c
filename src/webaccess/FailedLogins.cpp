#include "webaccess/FailedLogins.h"

#include <algorithm>

namespace tavrik {

int64_t FailedLogins::Entry::LastEvent() const {
  const int64_t last = count > 0 ? times[static_cast<size_t>((next + kLimit - 1) % kLimit)] : 0;
  return std::max(last, lockedUntil);
}

bool FailedLogins::IsLockedOut(const std::string& address, int64_t nowMs) const {
  const auto it = entries_.find(address);
  return it != entries_.end() && nowMs < it->second.lockedUntil;
}

bool FailedLogins::Record(const std::string& address, int64_t nowMs) {
  auto it = entries_.find(address);
  if (it == entries_.end()) {
    MakeRoom();
    it = entries_.emplace(address, Entry{}).first;
  }
  Entry& entry = it->second;
  if (nowMs < entry.lockedUntil) return false;  // a verdict that was under way
  entry.times[static_cast<size_t>(entry.next)] = nowMs;
  entry.next = (entry.next + 1) % kLimit;
  entry.count = std::min(entry.count + 1, kLimit);
  // With the ring full, the slot next in turn holds the oldest of the last kLimit.
  if (entry.count < kLimit || nowMs - entry.times[static_cast<size_t>(entry.next)] >= kWindowMs) return false;
  entry.count = 0;
  entry.lockedUntil = nowMs + kLockMs;
  return true;
}

void FailedLogins::MakeRoom() {
  if (entries_.size() < kMaxAddresses) return;
  auto oldest = entries_.begin();
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->second.LastEvent() < oldest->second.LastEvent()) oldest = it;
  }
  entries_.erase(oldest);
}

}  // namespace tavrik
