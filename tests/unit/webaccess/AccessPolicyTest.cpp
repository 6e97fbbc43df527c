#include "webaccess/AccessPolicy.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrik {
namespace {

constexpr auto kServe = AccessDecision::kServe;
constexpr auto kLogin = AccessDecision::kNeedsLogin;
constexpr auto kLoopbackOnly = AccessDecision::kLoopbackOnly;

TEST(AccessPolicyTest, DecidesByPathUsersPeerAndPublicMetrics) {
  const struct {
    bool users;
    bool metricsPublic;
    const char* path;
    const char* peer;
    AccessDecision expected;
  } cases[] = {
      // Without users: the journal's paths for loopback peers only, the rest as always.
      {false, true, "/api/receipts", "127.0.0.1", kServe},
      {false, true, "/api/receipts", "127.8.9.1", kServe},
      {false, true, "/api/receipts", "::1", kServe},
      {false, true, "/api/receipts", "::ffff:127.0.0.1", kServe},
      {false, true, "/api/receipts", "192.0.2.10", kLoopbackOnly},
      {false, true, "/api", "10.0.0.1", kLoopbackOnly},
      {false, true, "/api/receipts/7.txt", "::ffff:10.0.0.1", kLoopbackOnly},
      {false, true, "/api/receipts", "128.0.0.1", kLoopbackOnly},
      {false, true, "/api/receipts", "::2", kLoopbackOnly},
      {false, false, "/", "192.0.2.10", kServe},
      {false, false, "/metrics", "192.0.2.10", kServe},
      {false, true, "/apix", "192.0.2.10", kServe},
      // With users: every path needs a login, from anywhere, but a public /metrics.
      {true, true, "/", "127.0.0.1", kLogin},
      {true, true, "/receipts", "192.0.2.10", kLogin},
      {true, true, "/api/receipts", "127.0.0.1", kLogin},
      {true, true, "/metrics", "192.0.2.10", kServe},
      {true, false, "/metrics", "127.0.0.1", kLogin},
      {true, true, "/metrics/", "192.0.2.10", kLogin},
  };
  for (const auto& c : cases) {
    const AccessPolicy policy(c.users, c.metricsPublic);
    EXPECT_EQ(policy.Decide(c.path, c.peer, 0), c.expected)
        << c.path << " from " << c.peer << (c.users ? " with users" : " without users");
  }
}

// Ten wrong logins within a minute lock the address out for a minute; fewer,
// or spread wider, do not; other addresses and a public /metrics stay open.
TEST(AccessPolicyTest, TenFailuresWithinAMinuteLockTheAddressOutForAMinute) {
  AccessPolicy policy(true, true);
  const std::string peer = "192.0.2.10";
  int64_t now = 1000000;
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(policy.RecordFailure(peer, now += 7000));
  // The first of those is over a minute old by now: nine within the window.
  EXPECT_FALSE(policy.RecordFailure(peer, now += 7000));
  EXPECT_TRUE(policy.RecordFailure(peer, now += 1000));
  EXPECT_EQ(policy.Decide("/", peer, now), AccessDecision::kLockedOut);
  EXPECT_EQ(policy.Decide("/", "192.0.2.11", now), AccessDecision::kNeedsLogin);
  EXPECT_EQ(policy.Decide("/metrics", peer, now), AccessDecision::kServe);
  EXPECT_FALSE(policy.RecordFailure(peer, now + 1));  // a verdict that was under way: no second lockout
  EXPECT_EQ(policy.Decide("/", peer, now + FailedLogins::kLockMs - 1), AccessDecision::kLockedOut);
  EXPECT_EQ(policy.Decide("/", peer, now + FailedLogins::kLockMs), AccessDecision::kNeedsLogin);
  // Counted afresh after the lockout.
  now += FailedLogins::kLockMs;
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(policy.RecordFailure(peer, now));
  EXPECT_TRUE(policy.RecordFailure(peer, now));
}

// A flood of addresses cannot grow the table; the one forgotten is the one
// heard from longest ago, so a lockout under way survives fresh failures.
TEST(AccessPolicyTest, TableOfAddressesIsBounded) {
  FailedLogins failures;
  for (int i = 0; i < FailedLogins::kLimit; ++i) failures.Record("198.51.100.1", 100 + i);
  ASSERT_TRUE(failures.IsLockedOut("198.51.100.1", 200));
  for (size_t i = 0; i < 3 * FailedLogins::kMaxAddresses; ++i) {
    failures.Record("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256), 1000 + static_cast<int64_t>(i));
  }
  EXPECT_EQ(failures.Addresses(), FailedLogins::kMaxAddresses);
  EXPECT_TRUE(failures.IsLockedOut("198.51.100.1", 1000 + FailedLogins::kMaxAddresses));
}

}  // namespace
}  // namespace tavrik
