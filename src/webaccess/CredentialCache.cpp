#include "webaccess/CredentialCache.h"

#include <algorithm>

namespace tavrik {

std::string CredentialCache::Secret(const BasicCredentials& credentials) {
  std::string secret = credentials.user;
  secret.push_back('\0');
  secret += credentials.password;
  return secret;
}

bool CredentialCache::Contains(const BasicCredentials& credentials, int64_t nowMs) const {
  const std::string secret = Secret(credentials);
  bool found = false;
  for (const Entry& entry : entries_) {
    const bool fresh = nowMs - entry.verifiedAt < kLifetimeMs;
    found |= ConstantTimeEquals(entry.secret, secret) && fresh;
  }
  return found;
}

void CredentialCache::Add(const BasicCredentials& credentials, int64_t nowMs) {
  Entry entry{Secret(credentials), nowMs};
  for (Entry& held : entries_) {
    if (ConstantTimeEquals(held.secret, entry.secret)) {
      held.verifiedAt = nowMs;
      return;
    }
  }
  if (entries_.size() < kCapacity) {
    entries_.push_back(std::move(entry));
    return;
  }
  *std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    return a.verifiedAt < b.verifiedAt;
  }) = std::move(entry);
}

}  // namespace tavrik
