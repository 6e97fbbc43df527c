#pragma once
// Checks a password against a bcrypt hash with the system's crypt_r. Takes
// tens of milliseconds by design: call it off the event thread. A build
// without the library has no logins (PasswordHashAvailable() false), and
// start-up refuses a users file there.
#include <string>

namespace tavrik {

bool PasswordHashAvailable();
bool PasswordMatches(const std::string& password, const std::string& hash);

}  // namespace tavrik
