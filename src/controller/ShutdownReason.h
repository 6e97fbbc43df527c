#pragma once
// Why the relay shuts down. The numbers appear in the log ("Unload Mode = n").
#include <cstdint>

namespace tavrik {

enum class ShutdownReason : int16_t {
  kUser = 0,       // Ctrl+C, closing the console
  kService = 1,    // the service manager stops the service
  kSession = 2,    // hang-up, logoff, system shutdown
  kTerminate = 3,  // asked to terminate (SIGTERM)
};

}  // namespace tavrik
