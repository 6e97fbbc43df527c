#pragma once
// Wrong logins per peer address: kLimit of them within kWindowMs lock the
// address out for kLockMs. At most kMaxAddresses are remembered, so a flood
// of addresses cannot grow memory; when full, the address whose last
// failure or lockout lies furthest back is forgotten. Pure, event thread only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tavrik {

class FailedLogins {
 public:
  static constexpr int kLimit = 10;
  static constexpr int64_t kWindowMs = 60000;
  static constexpr int64_t kLockMs = 60000;
  static constexpr size_t kMaxAddresses = 1024;

  bool IsLockedOut(const std::string& address, int64_t nowMs) const;
  // Counts a wrong login; true when it locks the address out.
  bool Record(const std::string& address, int64_t nowMs);
  size_t Addresses() const { return entries_.size(); }

 private:
  struct Entry {
    std::array<int64_t, kLimit> times{};  // ring of the latest failures
    int count = 0;                        // failures in the ring
    int next = 0;                         // where the next one goes
    int64_t lockedUntil = 0;
    int64_t LastEvent() const;
  };

  void MakeRoom();

  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace tavrik
