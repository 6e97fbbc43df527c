#pragma once
// The settings taken from the command line. Written once before the logger or
// the relay exist, and only read afterwards. Every member starts at its value
// for an absent switch.
#include <cstdint>
#include <string>

#include "sources/NetworkProtocol.h"

namespace tavrik {

struct Settings {
  int32_t clientPort = 8147;                         // -p
  int16_t serialPort = 1;                            // -c, COM port number
  std::string lineSettings = "9600,n,8,1";           // -b, baud,parity,data bits,stop bits
  uint8_t logLevel = 10;                             // -d
  std::string peerHost;                              // -a, network source peer
  int32_t sourcePort = 0;                            // -t, 0 disables the network source
  bool listen = false;                               // -l, listen (TCP) or bind (UDP)
  NetworkProtocol protocol = NetworkProtocol::kTcp;  // -r, 1 means UDP
  std::string spoolFile;                             // -h
  int32_t frameTimeoutMs = 500;                      // -f
  bool cutDetection = false;                         // -u
  bool eventContentType = false;                     // -e
  int32_t logSizeMB = 10;                            // -g
  std::string logFileName = "Debug.log";             // -i
  bool serviceMode = false;                          // -s
  std::string webAddress;                            // -w, before the port; empty: every address
  int32_t webPort = 0;                               // -w, 0 disables the web port
  std::string printerHost;                           // -o HOST[:PORT], printer to pass through to
  int32_t printerPort = 9100;                        // -o
  bool answerStatus = false;                         // -v, answer status queries as a printer
  std::string outputsFile;                           // -k, TOML file of recorder/MQTT outputs
};

enum class SourceKind { kNetwork, kSpoolFile, kSerial };

// The network when a peer or listening is given with a port; otherwise the
// spool file when one is named; otherwise the serial port.
inline SourceKind SelectedSource(const Settings& settings) {
  if ((!settings.peerHost.empty() || settings.listen) && settings.sourcePort > 0) return SourceKind::kNetwork;
  if (!settings.spoolFile.empty()) return SourceKind::kSpoolFile;
  return SourceKind::kSerial;
}

// Pass-through works on the TCP listener source only.
inline bool PassesThrough(const Settings& settings) {
  return !settings.printerHost.empty() && SelectedSource(settings) == SourceKind::kNetwork &&
         settings.listen && settings.protocol == NetworkProtocol::kTcp;
}

// Status answers are for a source without a printer behind it.
inline bool AnswersStatus(const Settings& settings) {
  return settings.answerStatus && settings.printerHost.empty();
}

}  // namespace tavrik
