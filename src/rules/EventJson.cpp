#include "rules/EventJson.h"

#include <cstdio>

#include "json/JsonString.h"

namespace tavrik {
namespace {

void AppendNumber(std::string& out, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  out += text;
}

void AppendStringOrNull(std::string& out, std::string_view text) {
  if (text.empty()) {
    out += "null";
  } else {
    AppendJsonString(out, text);
  }
}

std::string_view TypeName(RuleEventKind kind) {
  switch (kind) {
    case RuleEventKind::kRule: return "rule";
    case RuleEventKind::kDrawerOpen: return "drawer_open";
    case RuleEventKind::kDrawerClosed: return "drawer_closed";
  }
  return "";
}

}  // namespace

void FormatEventJson(const RuleEvent& event, std::string& out) {
  out.clear();
  out.append("{\"type\":\"").append(TypeName(event.kind)).append("\",\"rule\":");
  AppendJsonString(out, event.rule);
  if (event.kind == RuleEventKind::kRule) {
    out.append(",\"seq\":").append(std::to_string(event.seq));
  } else {
    out.append(",\"seconds\":");
    AppendNumber(out, event.seconds);
  }
  out.append(",\"time\":");
  AppendJsonString(out, event.time);
  out.append(",\"epochMs\":").append(std::to_string(event.epochMs));
  out.append(",\"till\":");
  AppendStringOrNull(out, event.till);
  if (event.kind == RuleEventKind::kRule) {
    out.append(",\"line\":");
    AppendJsonString(out, event.line);
    out.append(",\"amount\":");
    if (event.amount) {
      AppendNumber(out, *event.amount);
    } else {
      out += "null";
    }
    out.append(",\"text\":");
    AppendJsonString(out, event.text);
    out.append(",\"url\":");
    AppendStringOrNull(out, event.url);
  }
  out += '}';
}

}  // namespace tavrik
