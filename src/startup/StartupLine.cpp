#include "startup/StartupLine.h"

namespace tavrik {

std::string StartupLine(const Settings& settings) {
  std::string line =
      settings.serviceMode ? "Executing as service. Port=" : "Executing as application. Port=";
  line += std::to_string(settings.clientPort);
  line += ", Com";
  line += std::to_string(settings.serialPort);
  line += ":";
  line += settings.lineSettings;
  line += ", DebugLevel=";
  line += std::to_string(settings.logLevel);
  line += ", RemoteAddress=";
  line += settings.peerHost;
  line += ", RemotePort=";
  line += std::to_string(settings.sourcePort);
  line += ", SrcListen=";
  line += settings.listen ? "True" : "False";
  return line;
}

}  // namespace tavrik
