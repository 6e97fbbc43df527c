#include "platform/ErrorNumbers.h"

namespace tavrik::errors {

PlatformError PortOpened() {
  return PlatformError(kPortOpened, "Operation not valid while the port is opened");
}

PlatformError InvalidPort() { return PlatformError(kInvalidPort, "Invalid port number"); }

PlatformError PortAlreadyOpen() { return PlatformError(kPortAlreadyOpen, "Port already open"); }

PlatformError PortNotOpen() {
  return PlatformError(kPortNotOpen, "Operation valid only when the port is open");
}

PlatformError WrongSocketState() {
  return PlatformError(kWrongSocketState,
                       "Wrong protocol or connection state for the requested transaction or request");
}

PlatformError InvalidSocketOperation() {
  return PlatformError(kInvalidSocketOperation, "Invalid operation at current state");
}

}  // namespace tavrik::errors
