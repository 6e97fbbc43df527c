#include "webaccess/LoginChecker.h"

#include <algorithm>
#include <utility>

#include "webaccess/PasswordHash.h"

namespace tavrik {

LoginChecker::LoginChecker(Platform& platform, std::vector<UserEntry> users)
    : platform_(platform), users_(std::move(users)), worker_(platform.CreateWorker()) {}

LoginChecker::Verdict LoginChecker::Check(const BasicCredentials& credentials, std::function<void(bool)> done) {
  const int64_t now = platform_.GetClock().UnixTimeMs();
  if (cache_.Contains(credentials, now)) return Verdict::kAccepted;
  const auto user = std::find_if(users_.begin(), users_.end(),
                                 [&](const UserEntry& entry) { return entry.name == credentials.user; });
  const bool known = user != users_.end();
  auto matches = std::make_shared<bool>(false);
  worker_->Run(
      [matches, password = credentials.password, hash = known ? user->hash : users_.front().hash] {
        *matches = PasswordMatches(password, hash);
      },
      [this, matches, known, credentials, done = std::move(done)] {
        const bool accepted = known && *matches;
        if (accepted) cache_.Add(credentials, platform_.GetClock().UnixTimeMs());
        done(accepted);
      });
  return Verdict::kPending;
}

}  // namespace tavrik
