#pragma once
// What the system asks of the program when it wants it to end, whatever its
// own name for it (a signal on Linux, a console control event on Windows).
namespace tavrik {

enum class TerminationRequest {
  kInterrupt,  // the user: Ctrl+C, Ctrl+Break, closing the console
  kHangUp,     // the session ends: hang-up, logoff, shutdown
  kTerminate,  // asked to terminate (SIGTERM)
};

}  // namespace tavrik
