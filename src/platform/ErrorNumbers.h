#pragma once
// The numbers failures are logged with ("context: number - description").
// Numbers the system gives (errno, Win32 codes) pass through unchanged; these
// are the relay's own, shared by the real components and the fakes.
#include "platform/PlatformError.h"

namespace tavrik::errors {

inline constexpr int kGeneral = 5;  // any failure without a number of its own
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kInvalidPropertyValue = 380;  // e.g. malformed serial line settings

inline constexpr int kPortOpened = 8000;  // renumbering an open serial port
inline constexpr int kInvalidPort = 8002;
inline constexpr int kPortAlreadyOpen = 8005;
inline constexpr int kPortNotOpen = 8018;

inline constexpr int kWrongSocketState = 40006;  // sending on a socket that is not connected
inline constexpr int kInvalidSocketOperation = 40020;  // opening a socket that is not closed

PlatformError PortOpened();
PlatformError InvalidPort();
PlatformError PortAlreadyOpen();
PlatformError PortNotOpen();
PlatformError WrongSocketState();
PlatformError InvalidSocketOperation();

}  // namespace tavrik::errors
