#pragma once
// The outputs an outputs file (-k) configures: what ReadOutputsConfig makes
// of it. Plain data, written once at start-up and only read afterwards.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rules/RuleConfig.h"
#include "events/EventOutputConfig.h"
#include "webaccess/WebAccessSettings.h"
#include "journal/JournalConfig.h"

namespace tavrik {

enum class TextEncoding { kUtf8, kLatin1, kAscii };

// How a receipt's text becomes the bytes a recorder reads.
struct TextFormat {
  std::string start;            // marker line before the receipt; empty: none
  std::string end;              // marker line after it; empty: none
  int32_t wrap = 0;             // characters per line; 0: no wrapping
  std::string lineEnd = "\r\n";
  TextEncoding encoding = TextEncoding::kUtf8;
};

enum class RecorderProtocol { kTcp, kUdp };

struct RecorderConfig {
  RecorderProtocol protocol = RecorderProtocol::kTcp;
  std::string host;
  int32_t port = 0;
  int32_t queue = 200;  // receipts kept while disconnected (TCP)
  TextFormat format;
};

struct TextServerConfig {
  int32_t port = 0;
  std::string address;  // local address to listen on; empty: every one
  TextFormat format;
};

struct MqttConfig {
  std::string host;
  int32_t port = 1883;
  std::string clientId = "TavrikSrv";
  std::string topic;
  std::string username;
  std::string password;
  std::string caFile;
  std::string certFile;
  std::string keyFile;
  int32_t qos = 1;
  int32_t keepalive = 30;  // seconds
  int32_t queue = 1000;    // receipts kept while the broker is unreachable
  bool raw = false;        // send the frame's bytes, unmasked card numbers and all
  bool png = false;        // send the receipt's picture (base64 "png")
  std::string till;        // the file's top-level name, in every receipt document when set
  // The file's line of each key given ("mqtt.ca_file") and of the table
  // ("mqtt"), for problems found once the file is read.
  std::map<std::string, uint32_t> lines;
};

// [ocr]: text read from receipts printed as images.
struct OcrConfig {
  bool enabled = true;  // where the build can: see TextRecognitionAvailable
  std::string languages = "eng";
};

// [web]: who may use the web port, and TLS on it.
struct WebConfig {
  std::string usersFile;
  WebAccessSettings access;  // with the users file read
  // The file's line of each key given ("web.tls_cert") and of the table ("web").
  std::map<std::string, uint32_t> lines;
};

// [render]: the receipts' pictures on the web port (GET /receipts/SEQ.png).
struct RenderConfig {
  bool pictures = false;
  int32_t widthDots = 576;  // 80 mm paper at 203 dpi; 384 for 58 mm
};

struct OutputsConfig {
  static constexpr size_t kMaxRecorders = 8;
  static constexpr size_t kMaxTextServers = 8;
  static constexpr size_t kMaxEventOutputs = 16;

  std::vector<RecorderConfig> recorders;
  std::vector<TextServerConfig> textServers;
  std::optional<MqttConfig> mqtt;
  std::vector<EventOutputConfig> events;  // [[event]]: where rule hits go
  OcrConfig ocr;
  std::optional<WebConfig> web;  // not an output: configures the web port (-w)
  std::optional<JournalConfig> journal;
  // Card numbers in every receipt masked (see receipt/CardNumbers.h); off
  // only when the file says so.
  bool maskCardNumbers = true;
  // This relay's name ("till 3") in events, the web port and MQTT; empty: none.
  std::string till;
  std::vector<RuleConfig> rules;
  RenderConfig render;

  // Of outputs, that is: a journal alone is none.
  bool Empty() const { return recorders.empty() && textServers.empty() && !mqtt && events.empty(); }
};

}  // namespace tavrik
