#pragma once
// The one-line status the service manager shows ("systemctl status"), built
// from the relay's state. Pure.
#include <cstdint>
#include <string>

#include "controller/Settings.h"

namespace tavrik {

// What the relay's one-shot frame timer means (see Relay.h).
enum class Recovery { kRunning, kRetryPending, kSettingUp };

struct RelayState {
  Recovery recovery = Recovery::kRunning;
  bool clientPortFailed = false;  // the last failure was the client listener's
  int32_t retryDelayMs = 0;
  int clients = 0;  // streaming clients
};

// "Relaying TCP listener 9100 to 3 clients", "Serial port COM3 cannot be
// opened, retrying in 10 s" ...
std::string DescribeRelayState(const Settings& settings, const RelayState& state);

}  // namespace tavrik
