#pragma once
// Why the controller is unloaded.
#include <cstdint>

#include "platform/asio/TerminationRequest.h"

namespace tavrik {

inline constexpr int16_t kUnloadByUser = 0;      // Ctrl+C, closing the console
inline constexpr int16_t kUnloadBySelf = 1;      // service stop
inline constexpr int16_t kUnloadBySession = 2;   // hang-up, logoff, shutdown
inline constexpr int16_t kUnloadByTaskKill = 3;  // termination request

inline int16_t UnloadModeFor(TerminationRequest request) {
  switch (request) {
    case TerminationRequest::kInterrupt:
      return kUnloadByUser;
    case TerminationRequest::kHangUp:
      return kUnloadBySession;
    case TerminationRequest::kTerminate:
      break;
  }
  return kUnloadByTaskKill;
}

}  // namespace tavrik
