// A build without libcrypt: start-up refuses a users file, so nothing asks.
#include "webaccess/PasswordHash.h"

namespace tavrik {

bool PasswordHashAvailable() { return false; }

bool PasswordMatches(const std::string& /*password*/, const std::string& /*hash*/) { return false; }

}  // namespace tavrik
