#include "webaccess/PasswordHash.h"

#include <crypt.h>

#include <memory>

#include "webaccess/BasicCredentials.h"

namespace tavrik {

bool PasswordHashAvailable() { return true; }

bool PasswordMatches(const std::string& password, const std::string& hash) {
  if (password.find('\0') != std::string::npos) return false;  // crypt would see only its start
  // Tens of kilobytes: kept off the worker's stack.
  const auto data = std::make_unique<crypt_data>();
  const char* result = crypt_r(password.c_str(), hash.c_str(), data.get());
  // A hash it cannot use comes back as "*0" or "*1", or as null.
  return result != nullptr && result[0] != '*' && ConstantTimeEquals(result, hash);
}

}  // namespace tavrik
