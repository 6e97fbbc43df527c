#include "startup/SwitchTable.h"

#include <algorithm>
#include <array>

#include "startup/CommandLine.h"

namespace tavrik {
namespace {

int32_t Ranged(const std::string& value, const NumberRange& range) {
  return ParseRangedInt(value, range.min, range.max, range.fallback);
}

// [ADDRESS:]PORT; the port is the text behind the last colon, so that an
// IPv6 address may stand before it, in brackets or not. A bad port leaves
// the web port off.
void ApplyWebEndpoint(Settings& settings, const std::string& value) {
  const size_t colon = value.rfind(':');
  const bool hasAddress = colon != std::string::npos;
  settings.webPort = ParseRangedInt(hasAddress ? value.substr(colon + 1) : value, 1, 65535, 0);
  std::string address = hasAddress ? value.substr(0, colon) : std::string();
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
  }
  settings.webAddress = settings.webPort == 0 ? std::string() : address;
}

// HOST or HOST:PORT; a missing or bad port means the printers' usual 9100.
void ApplyPrinter(Settings& settings, const std::string& value) {
  constexpr int32_t kPrinterPort = 9100;
  const size_t colon = value.rfind(':');
  settings.printerHost = TrimBlanks(value.substr(0, colon));
  const std::string port = colon == std::string::npos ? std::string() : TrimBlanks(value.substr(colon + 1));
  settings.printerPort = ParseRangedInt(port, 1, 65535, kPrinterPort);
}

// One row per switch letter, so this reads as the letter table. An on/off
// switch ignores its value.
// clang-format off
constexpr std::array kSwitches = {
  Switch{'p', "N", "client port", "8147", {1, 65535, 8147},
    [](Settings& s, const std::string& v, const NumberRange& r) { s.clientPort = Ranged(v, r); }},
  Switch{'c', "N", "serial port number (COM n)", "1", {1, 127, 1},
    [](Settings& s, const std::string& v, const NumberRange& r) { s.serialPort = static_cast<int16_t>(Ranged(v, r)); }},
  Switch{'b', "TEXT", "serial line settings: baud,parity,data bits,stop bits", "9600,n,8,1", {},
    [](Settings& s, const std::string& v, const NumberRange&) { s.lineSettings = v; }},
  Switch{'d', "N", "log level: lines at this level or above are written", "10", {0, 255, 6},
    [](Settings& s, const std::string& v, const NumberRange& r) { s.logLevel = static_cast<uint8_t>(Ranged(v, r)); }},
  Switch{'a', "HOST", "network source peer (TCP client, UDP addressed)", "none", {},
    [](Settings& s, const std::string& v, const NumberRange&) { s.peerHost = v; }},
  Switch{'t', "N", "network source port (peer port, or local port with -l)", "0 (network off)", {1, 65535, 0},
    [](Settings& s, const std::string& v, const NumberRange& r) { s.sourcePort = Ranged(v, r); }},
  Switch{'l', "", "network source listens (TCP, one peer at a time) or binds (UDP)", "off", {},
    [](Settings& s, const std::string&, const NumberRange&) { s.listen = true; }},
  Switch{'r', "N", "network protocol: 1 UDP, any other value TCP", "0", {0, 255, 0},
    [](Settings& s, const std::string& v, const NumberRange& r) {
      s.protocol = Ranged(v, r) == 1 ? NetworkProtocol::kUdp : NetworkProtocol::kTcp;
    }},
  Switch{'h', "PATH", "spool file source", "none", {},
    [](Settings& s, const std::string& v, const NumberRange&) { s.spoolFile = v; }},
  Switch{'f', "MS", "frame timeout; 0: frames end only by cut or size", "500", {0, 59000, 500},
    [](Settings& s, const std::string& v, const NumberRange& r) { s.frameTimeoutMs = Ranged(v, r); }},
  Switch{'u', "", "cut detection at ESC i / GS V", "off", {},
    [](Settings& s, const std::string&, const NumberRange&) { s.cutDetection = true; }},
  Switch{'e', "", "frame parts as text/x-vexa-event", "off", {},
    [](Settings& s, const std::string&, const NumberRange&) { s.eventContentType = true; }},
  Switch{'g', "N", "log size limit in MiB before rotation", "10", {1, 1999, 10},
    [](Settings& s, const std::string& v, const NumberRange& r) { s.logSizeMB = Ranged(v, r); }},
  Switch{'i', "NAME", "log file: beside the executable, or an absolute path", "Debug.log", {},
    [](Settings& s, const std::string& v, const NumberRange&) { s.logFileName = v; }},
  Switch{'s', "", "run as a service (systemd notify protocol)", "off", {},
    [](Settings& s, const std::string&, const NumberRange&) { s.serviceMode = true; }},
  Switch{'o', "HOST[:PORT]", "pass the TCP listener's peer through to this printer (port 9100 if not given)", "off", {},
    [](Settings& s, const std::string& v, const NumberRange&) { ApplyPrinter(s, v); }},
  Switch{'v', "", "answer status queries as a healthy printer (without -o)", "off", {},
    [](Settings& s, const std::string&, const NumberRange&) { s.answerStatus = true; }},
  Switch{'k', "PATH", "outputs file (TOML): recorders, text servers, MQTT", "none", {},
    [](Settings& s, const std::string& v, const NumberRange&) { s.outputsFile = v; }},
  Switch{'w', "[ADDRESS:]PORT", "web port: viewer page, receipts as events, status and metrics", "off", {},
    [](Settings& s, const std::string& v, const NumberRange&) { ApplyWebEndpoint(s, v); }},
};
// clang-format on

}  // namespace

std::span<const Switch> Switches() { return kSwitches; }

std::string UsageText() {
  std::string text =
      "Usage: TavrikSrv [-SWITCH [VALUE]]...\n"
      "Relays a text stream from one source (serial port, TCP, UDP or spool file),\n"
      "frame by frame, to HTTP multipart clients.\n"
      "A switch is a hyphen and a letter; a value cannot contain a hyphen. A bad\n"
      "number gives the value after \"else\".\n\n";
  for (const Switch& entry : kSwitches) {
    std::string line = "  -";
    line += entry.letter;
    if (!entry.argument.empty()) line.append(" ").append(entry.argument);
    line.resize(std::max<size_t>(line.size() + 1, 12), ' ');
    line.append(entry.meaning).append("\n              default ").append(entry.defaultValue);
    if (entry.IsNumeric()) {
      line.append(", range ")
          .append(std::to_string(entry.range.min))
          .append("-")
          .append(std::to_string(entry.range.max))
          .append(", else ")
          .append(std::to_string(entry.range.fallback));
    }
    text.append(line).append("\n");
  }
  text +=
      "  --help      print this text and exit\n"
      "  --version   print the version and exit\n";
  return text;
}

}  // namespace tavrik
