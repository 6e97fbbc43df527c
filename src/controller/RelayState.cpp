#include "controller/RelayState.h"

namespace tavrik {
namespace {

std::string SourceName(const Settings& settings) {
  switch (SelectedSource(settings)) {
    case SourceKind::kNetwork: {
      const std::string protocol = settings.protocol == NetworkProtocol::kUdp ? "UDP " : "TCP ";
      const std::string port = std::to_string(settings.sourcePort);
      if (settings.listen) return protocol + (settings.protocol == NetworkProtocol::kUdp ? "port " : "listener ") + port;
      return protocol + "peer " + settings.peerHost + ":" + port;
    }
    case SourceKind::kSpoolFile:
      return "spool file " + settings.spoolFile;
    case SourceKind::kSerial:
      break;
  }
  return "serial port COM" + std::to_string(settings.serialPort);
}

std::string Capitalized(std::string text) {
  if (!text.empty() && text.front() >= 'a' && text.front() <= 'z') text.front() = static_cast<char>(text.front() - 'a' + 'A');
  return text;
}

}  // namespace

std::string DescribeRelayState(const Settings& settings, const RelayState& state) {
  const std::string source = SourceName(settings);
  switch (state.recovery) {
    case Recovery::kSettingUp:
      return "Setting up " + source;
    case Recovery::kRetryPending: {
      const std::string what = state.clientPortFailed ? "Client port " + std::to_string(settings.clientPort)
                                                      : Capitalized(source);
      return what + " cannot be opened, retrying in " + std::to_string((state.retryDelayMs + 999) / 1000) + " s";
    }
    case Recovery::kRunning:
      break;
  }
  return "Relaying " + source + " to " + std::to_string(state.clients) + (state.clients == 1 ? " client" : " clients");
}

}  // namespace tavrik
