#pragma once
// Logins verified lately, so that a browser, which sends its credentials
// with every request, costs one slow hash check, not one per request. At
// most kCapacity entries, each forgotten kLifetimeMs after its check; a
// lookup compares every entry in constant time. Event thread only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "webaccess/BasicCredentials.h"

namespace tavrik {

class CredentialCache {
 public:
  static constexpr size_t kCapacity = 32;
  static constexpr int64_t kLifetimeMs = 600000;

  bool Contains(const BasicCredentials& credentials, int64_t nowMs) const;
  // Replaces the oldest entry when full.
  void Add(const BasicCredentials& credentials, int64_t nowMs);

 private:
  struct Entry {
    std::string secret;  // user, NUL, password
    int64_t verifiedAt = 0;
  };
  static std::string Secret(const BasicCredentials& credentials);

  std::vector<Entry> entries_;
};

}  // namespace tavrik
