#pragma once
// Why the relay shuts down when the system asks the program to end.
#include "controller/ShutdownReason.h"
#include "platform/TerminationRequest.h"

namespace tavrik {

inline ShutdownReason ShutdownReasonFor(TerminationRequest request) {
  switch (request) {
    case TerminationRequest::kInterrupt:
      return ShutdownReason::kUser;
    case TerminationRequest::kHangUp:
      return ShutdownReason::kSession;
    case TerminationRequest::kTerminate:
      break;
  }
  return ShutdownReason::kTerminate;
}

}  // namespace tavrik
