#include "outputs/WebConfigFiles.h"

#include <variant>

#include "platform/TlsServer.h"
#include "webaccess/PasswordHash.h"
#include "webaccess/UsersFile.h"

namespace tavrik {

std::optional<ConfigError> LoadWebConfigFiles(const std::string& outputsPath, WebConfig& web) {
  const auto problem = [&](const std::string& key, const std::string& what) {
    const auto line = web.lines.find(key);
    const uint32_t at = line != web.lines.end() ? line->second : 0;
    return ConfigError{outputsPath + ":" + std::to_string(at) + ": " + key + ": " + what};
  };
  if (!web.usersFile.empty()) {
    if (!PasswordHashAvailable()) return problem("web.users_file", "this build has no login support");
    auto users = LoadUsersFile(web.usersFile);
    if (const auto* error = std::get_if<UsersFileError>(&users)) return problem("web.users_file", error->message);
    web.access.users = std::get<std::vector<UserEntry>>(std::move(users));
  }
  if (!web.access.tlsCert.empty()) {
    if (!TlsAvailable()) return problem("web.tls_cert", "this build has no TLS support");
    if (const std::optional<std::string> bad = TlsFilesProblem(web.access.tlsCert, web.access.tlsKey)) {
      return problem("web.tls_cert", *bad);
    }
  }
  return std::nullopt;
}

}  // namespace tavrik
