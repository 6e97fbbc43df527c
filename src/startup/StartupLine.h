#pragma once
// The one log line (level 10) that records the effective settings at start-up.
#include <string>

#include "controller/Settings.h"

namespace tavrik {

// "Executing as application. Port=8147, Com1:9600,n,8,1, DebugLevel=10,
// RemoteAddress=, RemotePort=0, SrcListen=False" (one line; "service" in
// service mode). The other settings do not appear in it.
std::string StartupLine(const Settings& settings);

}  // namespace tavrik
