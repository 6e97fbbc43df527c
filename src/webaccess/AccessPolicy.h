#pragma once
// Who may have which path of the web port. With users, every path but a
// public /metrics needs a login, and an address with too many wrong logins
// is turned away for a while (see FailedLogins). Without users, the
// journal's paths (/api/...) are for this machine's own clients only.
// Pure, event thread only.
#include <cstdint>
#include <string>
#include <string_view>

#include "webaccess/FailedLogins.h"

namespace tavrik {

enum class AccessDecision {
  kServe,         // answered as always
  kNeedsLogin,    // Basic credentials decide: 401 without good ones
  kLoopbackOnly,  // 403: only a loopback peer may have it without users
  kLockedOut,     // 429: too many wrong logins from this address
};

class AccessPolicy {
 public:
  AccessPolicy(bool usersConfigured, bool metricsPublic)
      : usersConfigured_(usersConfigured), metricsPublic_(metricsPublic) {}

  AccessDecision Decide(std::string_view path, const std::string& peer, int64_t nowMs) const;
  // A wrong login from peer; true when it locks peer out (worth a log line).
  bool RecordFailure(const std::string& peer, int64_t nowMs) { return failures_.Record(peer, nowMs); }
  const FailedLogins& Failures() const { return failures_; }

  // 127.0.0.0/8, ::1 and IPv4-mapped 127.x addresses, as the sockets spell them.
  static bool IsLoopback(std::string_view address);

 private:
  bool usersConfigured_;
  bool metricsPublic_;
  FailedLogins failures_;
};

}  // namespace tavrik
