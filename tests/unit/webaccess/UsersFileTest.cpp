#include "webaccess/UsersFile.h"

#include <gtest/gtest.h>

#include <string>

#include "webaccess/BasicCredentials.h"
#include "webaccess/CredentialCache.h"
#include "webaccess/PasswordHash.h"

namespace tavrik {
namespace {

// htpasswd -nbB -C 4 alice s3cret
const std::string kAliceHash = "$2y$04$ZHYUJkesi.drpZDFype9cOgVL8ixNwpU5bEqEPhggwV3lDFZSlby6";

TEST(UsersFileTest, ReadsBcryptLinesAndNamesTheLineOfEachProblem) {
  const std::string good = kAliceHash.substr(4);  // after "$2y$"
  const struct {
    std::string text;
    std::string expected;  // the users, or the error
  } cases[] = {
      {"alice:" + kAliceHash + "\n", "alice"},
      {"# admins\r\n\nalice:" + kAliceHash + "\r\nbob:$2b$" + good + "\ncarol:$2a$" + good, "alice bob carol"},
      {"alice:" + kAliceHash + "\nbob\n", "u:2: not a user:hash line"},
      {":" + kAliceHash, "u:1: not a user:hash line"},
      {"al\x01ice:" + kAliceHash, "u:1: not a user:hash line"},
      {"bob:$apr1$abcdefgh$0123456789abcdefghijkl", "u:1: user bob: not a bcrypt hash (make it with htpasswd -B)"},
      {"bob:{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=", "u:1: user bob: not a bcrypt hash (make it with htpasswd -B)"},
      {"bob:plain", "u:1: user bob: not a bcrypt hash (make it with htpasswd -B)"},
      {"bob:$2x$" + good, "u:1: user bob: not a bcrypt hash (make it with htpasswd -B)"},
      {"bob:$2y$03" + good.substr(2), "u:1: user bob: not a bcrypt hash (make it with htpasswd -B)"},
      {"bob:" + kAliceHash + "x", "u:1: user bob: not a bcrypt hash (make it with htpasswd -B)"},
      {"bob:" + kAliceHash.substr(0, 59) + "!", "u:1: user bob: not a bcrypt hash (make it with htpasswd -B)"},
      {"alice:" + kAliceHash + "\nalice:" + kAliceHash, "u:2: user alice given twice"},
      {"# nobody\n\n", "u: holds no users"},
  };
  for (const auto& [text, expected] : cases) {
    const auto result = ParseUsersFile(text, "u");
    std::string got;
    if (const auto* error = std::get_if<UsersFileError>(&result)) got = error->message;
    if (const auto* users = std::get_if<std::vector<UserEntry>>(&result)) {
      for (const UserEntry& user : *users) {
        if (!got.empty()) got.push_back(' ');
        got.append(user.name);
      }
    }
    EXPECT_EQ(got, expected) << text;
  }
  EXPECT_EQ(std::get<UsersFileError>(LoadUsersFile("/nonexistent/users")).message,
            "/nonexistent/users: cannot read the users file");
}

TEST(UsersFileTest, BasicCredentialsAreDecodedOrRefused) {
  const struct {
    const char* field;
    const char* user;  // null: refused
    const char* password;
  } cases[] = {
      {"Basic YWxpY2U6czNjcmV0", "alice", "s3cret"},
      {"basic   YWxpY2U6czNjcmV0", "alice", "s3cret"},
      {"Basic YWxpY2U6YTpi", "alice", "a:b"},  // a colon in the password
      {"Basic OnB3", "", "pw"},
      {"Basic YTo=", "a", ""},
      {"Basic YWxpY2U=", nullptr, nullptr},  // no colon
      {"Basic YWxpY2U6czNjcmV0!", nullptr, nullptr},
      {"Basic YWxpY2U6czNjcmV0Y", nullptr, nullptr},  // a lone character
      {"Bearer YWxpY2U6czNjcmV0", nullptr, nullptr},
      {"Basic", nullptr, nullptr},
      {"", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    const auto credentials = BasicCredentials::Parse(c.field);
    ASSERT_EQ(credentials.has_value(), c.user != nullptr) << c.field;
    if (!credentials) continue;
    EXPECT_EQ(credentials->user, c.user) << c.field;
    EXPECT_EQ(credentials->password, c.password) << c.field;
  }
}

TEST(UsersFileTest, PasswordsAreCheckedAgainstTheHash) {
  if (!PasswordHashAvailable()) GTEST_SKIP() << "this build has no login support";
  EXPECT_TRUE(PasswordMatches("s3cret", kAliceHash));
  EXPECT_FALSE(PasswordMatches("s3cre", kAliceHash));
  EXPECT_FALSE(PasswordMatches(std::string("s3cret\0x", 8), kAliceHash));  // crypt sees only "s3cret"
  EXPECT_FALSE(PasswordMatches("s3cret", "$2y$04$short"));
}

TEST(UsersFileTest, CacheKeepsRecentLoginsWithinItsBound) {
  CredentialCache cache;
  const BasicCredentials alice{"alice", "s3cret"};
  cache.Add(alice, 0);
  EXPECT_TRUE(cache.Contains(alice, CredentialCache::kLifetimeMs - 1));
  EXPECT_FALSE(cache.Contains(alice, CredentialCache::kLifetimeMs));
  EXPECT_FALSE(cache.Contains({"alice", "s3cre"}, 0));
  EXPECT_FALSE(cache.Contains({"bob", "s3cret"}, 0));
  for (size_t i = 0; i < CredentialCache::kCapacity; ++i) cache.Add({std::to_string(i), "p"}, 1);
  EXPECT_FALSE(cache.Contains(alice, 1));  // the oldest made room
  EXPECT_TRUE(cache.Contains({"0", "p"}, 1));
}

}  // namespace
}  // namespace tavrik
