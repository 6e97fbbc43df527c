#include "startup/PortConflict.h"

namespace tavrik {

std::string PortConflict(const Settings& settings) {
  if (settings.webPort == 0) return {};
  const std::string port = std::to_string(settings.webPort);
  if (settings.webPort == settings.clientPort)
    return "-w: port " + port + " is the client port (-p)";
  const bool sourceListens = SelectedSource(settings) == SourceKind::kNetwork && settings.listen &&
                             settings.protocol == NetworkProtocol::kTcp;
  if (sourceListens && settings.webPort == settings.sourcePort)
    return "-w: port " + port + " is the source's listening port (-l -t)";
  return {};
}

}  // namespace tavrik
