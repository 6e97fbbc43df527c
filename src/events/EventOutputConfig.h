#pragma once
// One [[event]] table of the outputs file: where events go.
#include <cstdint>
#include <string>
#include <vector>

namespace tavrik {

enum class EventOutputType { kWebhook, kFrigate, kZoneMinder, kNx, kMilestone };
enum class EventAuth { kNone, kBasic, kBearer, kDigest };

// Types whose receiver is an HTTP interface (the rest take lines on a socket).
inline bool IsHttpEventOutput(EventOutputType type) {
  return type == EventOutputType::kWebhook || type == EventOutputType::kFrigate || type == EventOutputType::kNx;
}

struct EventOutputConfig {
  std::string name;
  EventOutputType type = EventOutputType::kWebhook;
  int32_t queue = 100;  // events kept while the endpoint cannot take them
  // HTTP (webhook, frigate, nx)
  std::string url;                   // webhook: the whole address; frigate, nx: the server's base address
  std::vector<std::string> headers;  // "Name: value" each (webhook)
  bool png = false;                  // webhook: the receipt's picture in the event (base64 "png")
  EventAuth auth = EventAuth::kNone;
  std::string username;
  std::string password;
  std::string token;   // bearer
  std::string caFile;  // https: the authorities to trust; empty: the system's
  std::string camera;  // frigate: the camera the event is on
  std::string monitor;  // zoneminder: the monitor's number or name
  std::string label = "receipt";
  std::vector<std::string> cameras;  // nx: the camera ids the event is tied to
  int32_t duration = 30;             // seconds of recording the event marks
  int32_t score = 100;               // zoneminder's event score
  // TCP/UDP (zoneminder, milestone)
  std::string host;
  int32_t port = 0;  // 0: the type's usual one
  bool udp = false;  // milestone only
  std::string templateText = "{till} {rule} {seq} {line}";  // milestone
};

}  // namespace tavrik
