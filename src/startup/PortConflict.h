#pragma once
// Ports of the command line that the relay would itself try to listen on
// twice. Pure, no I/O.
#include <string>

#include "controller/Settings.h"

namespace tavrik {

// Empty when the web port (-w) differs from the client port (-p) and from the
// TCP listener source's port (-l -t); otherwise the start-up error to print.
std::string PortConflict(const Settings& settings);

}  // namespace tavrik
