#include "webaccess/AccessPolicy.h"

namespace tavrik {

bool AccessPolicy::IsLoopback(std::string_view address) {
  if (address == "::1") return true;
  if (address.starts_with("::ffff:")) address.remove_prefix(7);
  return address.starts_with("127.") && address.find(':') == std::string_view::npos;
}

AccessDecision AccessPolicy::Decide(std::string_view path, const std::string& peer, int64_t nowMs) const {
  if (!usersConfigured_) {
    const bool journal = path == "/api" || path.starts_with("/api/");
    return journal && !IsLoopback(peer) ? AccessDecision::kLoopbackOnly : AccessDecision::kServe;
  }
  if (path == "/metrics" && metricsPublic_) return AccessDecision::kServe;
  return failures_.IsLockedOut(peer, nowMs) ? AccessDecision::kLockedOut : AccessDecision::kNeedsLogin;
}

}  // namespace tavrik
