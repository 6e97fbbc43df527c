#pragma once
// How the web port keeps strangers out: what the [web] table of the outputs
// file sets, with the users file read. Plain data.
#include <string>
#include <vector>

#include "webaccess/UsersFile.h"

namespace tavrik {

struct WebAccessSettings {
  std::vector<UserEntry> users;  // empty: no logins, /api/ for loopback peers only
  std::string realm = "TavrikSrv";
  bool metricsPublic = true;
  std::string tlsCert;  // PEM files; both or neither
  std::string tlsKey;
};

}  // namespace tavrik
