#pragma once
// Tells whether Basic credentials name a user of the users file with the
// right password. A login verified lately is answered at once (see
// CredentialCache); any other is hashed on a worker thread and answered on
// the event thread. A user not in the file costs a hash check as well, so
// that the time taken does not tell which names exist.
#include <functional>
#include <memory>
#include <vector>

#include "platform/Platform.h"
#include "webaccess/BasicCredentials.h"
#include "webaccess/CredentialCache.h"
#include "webaccess/UsersFile.h"

namespace tavrik {

class LoginChecker {
 public:
  enum class Verdict { kAccepted, kPending };

  // users must not be empty.
  LoginChecker(Platform& platform, std::vector<UserEntry> users);

  // kPending: done gets the verdict later, on the event thread, unless the
  // checker is gone by then.
  Verdict Check(const BasicCredentials& credentials, std::function<void(bool accepted)> done);
  size_t Pending() const { return worker_->Pending(); }

 private:
  Platform& platform_;
  std::vector<UserEntry> users_;
  CredentialCache cache_;
  std::unique_ptr<BackgroundWorker> worker_;
};

}  // namespace tavrik
