#include "events/EventRequests.h"

#include <cstdio>
#include <string_view>

#include "json/JsonString.h"
#include "outputs/ReceiptJson.h"

namespace tavrik {
namespace {

// A URL's path part, with everything outside unreserved characters escaped.
std::string PathSegment(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
        c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string WithoutTrailingSlash(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

std::string Amount(const std::optional<double>& amount) {
  if (!amount) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", *amount);
  return text;
}

// The event's subject: the rule, or what the drawer did.
std::string Subject(const RuleEvent& event) {
  std::string subject(event.rule);
  if (event.kind != RuleEventKind::kRule) subject.append(" (").append(EventKindName(event.kind)).append(")");
  return subject;
}

// The matching line, then the receipt's text.
std::string LineAndText(const RuleEvent& event, std::string_view between) {
  if (event.line.empty()) return std::string(event.text);
  std::string out(event.line);
  out.append(between).append(event.text);
  return out;
}

// Text for a field of a line protocol: no field separator, no line break,
// at most `most` bytes and never half a character.
std::string Field(std::string_view text, size_t most) {
  std::string out;
  for (const char c : text) out += (c == '|' || c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
  if (out.size() > most) {
    size_t end = most;
    while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
    out.resize(end);
  }
  return out;
}

void AddAuth(const EventOutputConfig& config, OutgoingHttpRequest& request) {
  switch (config.auth) {
    case EventAuth::kNone: break;
    case EventAuth::kBasic:
    case EventAuth::kDigest:
      request.auth = config.auth == EventAuth::kBasic ? HttpAuth::kBasic : HttpAuth::kDigest;
      request.username = config.username;
      request.password = config.password;
      break;
    case EventAuth::kBearer: request.headers.push_back("Authorization: Bearer " + config.token); break;
  }
}

std::string FrigateBody(const EventOutputConfig& config, const RuleEvent& event) {
  std::string body = "{\"sub_label\":";
  AppendJsonString(body, Subject(event));
  body += ",\"duration\":" + std::to_string(config.duration);
  body += ",\"include_recording\":true}";
  return body;
}

std::string NxBody(const EventOutputConfig& config, const RuleEvent& event) {
  std::string body = "{\"source\":";
  AppendJsonString(body, event.till.empty() ? std::string_view("TavrikSrv") : event.till);
  body += ",\"caption\":";
  AppendJsonString(body, Subject(event));
  body += ",\"description\":";
  AppendJsonString(body, LineAndText(event, "\n\n"));
  body += ",\"timestamp\":\"" + std::to_string(event.epochMs) + "\"";
  body += ",\"metadata\":{\"cameraRefs\":[";
  for (size_t i = 0; i < config.cameras.size(); ++i) {
    if (i > 0) body += ',';
    AppendJsonString(body, config.cameras[i]);
  }
  body += "]}}";
  return body;
}

std::string FillTemplate(std::string_view templateText, const RuleEvent& event) {
  std::string out;
  size_t at = 0;
  while (at < templateText.size()) {
    const size_t open = templateText.find('{', at);
    if (open == std::string_view::npos) break;
    const size_t close = templateText.find('}', open);
    if (close == std::string_view::npos) break;
    out.append(templateText.substr(at, open - at));
    const std::string_view name = templateText.substr(open + 1, close - open - 1);
    if (name == "rule") {
      out += Subject(event);
    } else if (name == "till") {
      out += event.till;
    } else if (name == "seq") {
      out += std::to_string(event.seq);
    } else if (name == "line") {
      out += event.line;
    } else if (name == "amount") {
      out += Amount(event.amount);
    } else if (name == "time") {
      out += event.time;
    } else {
      out.append(templateText.substr(open, close - open + 1));  // not a placeholder: kept
    }
    at = close + 1;
  }
  out.append(templateText.substr(at));
  return out;
}

}  // namespace

const char* EventKindName(RuleEventKind kind) {
  switch (kind) {
    case RuleEventKind::kRule: return "rule";
    case RuleEventKind::kDrawerOpen: return "drawer_open";
    case RuleEventKind::kDrawerClosed: return "drawer_closed";
  }
  return "rule";
}

OutgoingHttpRequest EventHttpRequest(const EventOutputConfig& config, const RuleEvent& event) {
  OutgoingHttpRequest request;
  request.caFile = config.caFile;
  request.headers.push_back("Content-Type: application/json");
  switch (config.type) {
    case EventOutputType::kWebhook:
      request.url = config.url;
      request.body = std::string(event.json);
      if (config.png && !event.png.empty()) AppendPictureField(event.png, request.body);
      for (const std::string& header : config.headers) request.headers.push_back(header);
      break;
    case EventOutputType::kFrigate:
      request.url = WithoutTrailingSlash(config.url) + "/api/events/" + PathSegment(config.camera) + "/" +
                    PathSegment(config.label) + "/create";
      request.body = FrigateBody(config, event);
      break;
    case EventOutputType::kNx:
      request.url = WithoutTrailingSlash(config.url) + "/api/createEvent";
      request.body = NxBody(config, event);
      break;
    case EventOutputType::kZoneMinder:
    case EventOutputType::kMilestone: break;
  }
  AddAuth(config, request);
  return request;
}

std::string EventMessage(const EventOutputConfig& config, const RuleEvent& event) {
  if (config.type == EventOutputType::kZoneMinder) {
    const std::string subject = Subject(event);
    std::string line = Field(config.monitor, 64) + "|on+" + std::to_string(config.duration) + "|" +
                       std::to_string(config.score) + "|" + Field(subject, kZoneMinderCauseBytes) + "|" +
                       Field(LineAndText(event, " "), kZoneMinderTextBytes) + "|" +
                       Field(event.line.empty() ? std::string_view(subject) : event.line, kZoneMinderShowTextBytes);
    return line + "\n";
  }
  std::string message = FillTemplate(config.templateText, event);
  for (char& c : message) {
    if (c == '\r' || c == '\n') c = ' ';  // one event, one line
  }
  return message + "\r\n";
}

}  // namespace tavrik
