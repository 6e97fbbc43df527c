#include "startup/StartupLine.h"

namespace tavrik {

std::string StartupLine(const Settings& settings) {
  std::string line =
      settings.ServiceMode ? "Executing as service. Port=" : "Executing as application. Port=";
  line += std::to_string(settings.Port);
  line += ", Com";
  line += std::to_string(settings.ComPort);
  line += ":";
  line += settings.ComSettings;
  line += ", DebugLevel=";
  line += std::to_string(settings.DebugLevel);
  line += ", RemoteAddress=";
  line += settings.RemoteAddress;
  line += ", RemotePort=";
  line += std::to_string(settings.RemotePort);
  line += ", SrcListen=";
  line += settings.SrcListen ? "True" : "False";
  return line;
}

}  // namespace tavrik
