#pragma once
// Why the controller is unloaded.
#include <csignal>
#include <cstdint>

namespace tavrik {

inline constexpr int16_t kUnloadByUser = 0;      // Ctrl+C, closing the console
inline constexpr int16_t kUnloadBySelf = 1;      // service stop
inline constexpr int16_t kUnloadBySession = 2;   // hang-up, logoff, shutdown
inline constexpr int16_t kUnloadByTaskKill = 3;  // termination request

inline int16_t UnloadModeForSignal(int signal) {
  if (signal == SIGINT) return kUnloadByUser;
#ifdef SIGHUP
  if (signal == SIGHUP) return kUnloadBySession;
#endif
  return kUnloadByTaskKill;
}

}  // namespace tavrik
