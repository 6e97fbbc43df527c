#include "web/StatusReport.h"

#include "json/JsonString.h"

namespace tavrik {
namespace {

void AppendField(std::string& out, std::string_view name, std::string_view text) {
  AppendJsonString(out, name);
  out += ':';
  AppendJsonString(out, text);
  out += ',';
}

void AppendField(std::string& out, std::string_view name, int64_t number) {
  AppendJsonString(out, name);
  out += ':';
  out += std::to_string(number);
  out += ',';
}

void AppendMetric(std::string& out, std::string_view name, std::string_view type,
                  std::string_view help, int64_t value) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
  out.append(name).append(" ").append(std::to_string(value)).append("\n");
}

// A label value: backslash, quote and line feed escaped (exposition format).
std::string LabelValue(std::string_view text) {
  std::string value;
  for (const char c : text) {
    if (c == '\\' || c == '"') value += '\\';
    if (c == '\n') {
      value += "\\n";
      continue;
    }
    value += c;
  }
  return value;
}

// The states of a source that takes bytes; not those of one that recovers
// (retrying, setting up, reconnecting) nor any other.
bool SourceRuns(std::string_view state) {
  for (const std::string_view running :
       {"listening", "connected", "receiving", "port open", "polling"}) {
    if (state == running) return true;
  }
  return false;
}

// One family per counter, a sample per output (named by its label).
// The help texts of one kind of output's metric families.
struct OutputFamilies {
  std::string_view prefix;  // "tavrik_output"
  std::string_view connected, queued, sent, dropped;
};

constexpr OutputFamilies kReceiptOutputs{
    "tavrik_output", "1 while the output is connected (or listening).", "Receipts waiting to go out.",
    "Receipts delivered: acknowledged by a TCP recorder or an MQTT broker (QoS 1), else handed to the network.",
    "Receipts lost to a full queue or a slow reader."};
constexpr OutputFamilies kEventOutputs{
    "tavrik_event_output", "1 while the event output's last delivery got through.",
    "Events waiting to go out, the one under way included.",
    "Events delivered: a 2xx answer (HTTP), acknowledged (TCP), else handed to the network (UDP).",
    "Events lost to a full queue."};

void AppendOutputMetrics(std::string& out, const std::vector<OutputReport>& outputs, const OutputFamilies& kind) {
  if (outputs.empty()) return;
  struct Family {
    std::string name;
    std::string_view type, help;
    uint64_t (*value)(const OutputReport&);
  };
  const std::string prefix(kind.prefix);
  const Family families[] = {
      {prefix + "_connected", "gauge", kind.connected,
       [](const OutputReport& o) -> uint64_t { return o.connected ? 1 : 0; }},
      {prefix + "_queued", "gauge", kind.queued, [](const OutputReport& o) { return o.queued; }},
      {prefix + "_sent_total", "counter", kind.sent, [](const OutputReport& o) { return o.sent; }},
      {prefix + "_dropped_total", "counter", kind.dropped, [](const OutputReport& o) { return o.dropped; }},
  };
  for (const Family& family : families) {
    out.append("# HELP ").append(family.name).append(" ").append(family.help).append("\n");
    out.append("# TYPE ").append(family.name).append(" ").append(family.type).append("\n");
    for (const OutputReport& output : outputs) {
      out.append(family.name).append("{output=\"").append(LabelValue(output.name)).append("\"} ");
      out.append(std::to_string(family.value(output))).append("\n");
    }
  }
}

void AppendOutputs(std::string& out, std::string_view name, const std::vector<OutputReport>& outputs) {
  out.append("\"").append(name).append("\":[");
  for (const OutputReport& output : outputs) {
    out += '{';
    AppendField(out, "name", output.name);
    out += output.connected ? "\"connected\":true," : "\"connected\":false,";
    AppendField(out, "queued", static_cast<int64_t>(output.queued));
    AppendField(out, "sent", static_cast<int64_t>(output.sent));
    AppendField(out, "dropped", static_cast<int64_t>(output.dropped));
    out.back() = '}';
    out += ',';
  }
  if (!outputs.empty()) out.pop_back();
  out += ']';
}

void AppendRuleMetrics(std::string& out, const std::vector<RuleReport>& rules) {
  if (rules.empty()) return;
  out += "# HELP tavrik_rule_matches_total Receipts a rule matched, or drawers it saw left open.\n";
  out += "# TYPE tavrik_rule_matches_total counter\n";
  for (const RuleReport& rule : rules) {
    out.append("tavrik_rule_matches_total{rule=\"").append(LabelValue(rule.name)).append("\"} ");
    out.append(std::to_string(rule.matches)).append("\n");
  }
}

}  // namespace

std::string StatusJson(const RelayStatus& status, std::string_view version) {
  std::string out = "{";
  AppendField(out, "version", version);
  if (!status.till.empty()) AppendField(out, "till", status.till);
  AppendField(out, "uptimeSeconds", status.uptimeSeconds);
  out += "\"source\":{";
  AppendField(out, "kind", status.sourceKind);
  AppendField(out, "state", status.sourceState);
  AppendField(out, "peer", status.sourcePeer);
  out.back() = '}';
  out += ',';
  AppendField(out, "framesRelayed", status.framesRelayed);
  AppendField(out, "bytesRelayed", status.bytesRelayed);
  AppendField(out, "clientsConnected", status.clientsConnected);
  AppendField(out, "partsHeldBack", status.partsHeldBack);
  AppendField(out, "partsDropped", status.partsDropped);
  AppendField(out, "webPort", status.webPort);
  if (status.pictures) out += "\"pictures\":true,";
  AppendField(out, "webConnections", status.webConnections);
  AppendField(out, "receiptsSkipped", status.receiptsSkipped);
  AppendField(out, "lastFrameTime", status.lastFrameTime);
  AppendField(out, "logLevel", status.logLevel);
  AppendField(out, "printerStatus", status.printerStatus);
  if (status.recognition) {
    out += "\"textRecognition\":{";
    AppendField(out, "read", static_cast<int64_t>(status.recognition->read));
    AppendField(out, "skipped", static_cast<int64_t>(status.recognition->skipped));
    out.back() = '}';
    out += ',';
  }
  if (!status.eventOutputs.empty()) {
    AppendOutputs(out, "eventOutputs", status.eventOutputs);
    out += ',';
  }
  AppendOutputs(out, "outputs", status.outputs);
  if (status.journal) {
    const JournalReport& journal = *status.journal;
    out += ",\"journal\":{";
    AppendField(out, "state", journal.ok ? "ok" : "failing");
    AppendField(out, "path", journal.path);
    AppendField(out, "queued", static_cast<int64_t>(journal.queued));
    AppendField(out, "written", static_cast<int64_t>(journal.written));
    AppendField(out, "dropped", static_cast<int64_t>(journal.dropped));
    AppendField(out, "lastSeq", static_cast<int64_t>(journal.lastSeq));
    AppendField(out, "unindexed", static_cast<int64_t>(journal.unindexed));
    AppendField(out, "error", journal.error);
    out.back() = '}';
  }
  out += "}\n";
  return out;
}

std::string MetricsText(const RelayStatus& status, std::string_view version) {
  std::string out;
  out += "# HELP tavrik_build_info The relay's version; the value is always 1.\n";
  out += "# TYPE tavrik_build_info gauge\n";
  out += "tavrik_build_info{version=\"" + LabelValue(version) + "\"} 1\n";
  out +=
      "# HELP tavrik_source_up 1 while the source is ready (listening, connected, open or "
      "polling).\n";
  out += "# TYPE tavrik_source_up gauge\n";
  out += "tavrik_source_up{kind=\"" + LabelValue(status.sourceKind) + "\",state=\"" +
         LabelValue(status.sourceState) + "\"} " + (SourceRuns(status.sourceState) ? "1" : "0") +
         "\n";
  AppendMetric(out, "tavrik_uptime_seconds", "gauge", "Seconds since the relay started.",
               status.uptimeSeconds);
  AppendMetric(out, "tavrik_frames_relayed_total", "counter", "Frames handed to the clients.",
               status.framesRelayed);
  AppendMetric(out, "tavrik_bytes_relayed_total", "counter",
               "Bytes of the frames handed to the clients.", status.bytesRelayed);
  AppendMetric(out, "tavrik_clients_connected", "gauge", "Streaming clients on the client port.",
               status.clientsConnected);
  AppendMetric(out, "tavrik_parts_held_back_total", "counter", "Parts held back for slow clients.",
               status.partsHeldBack);
  AppendMetric(out, "tavrik_parts_dropped_total", "counter",
               "Held-back parts dropped because a client fell too far behind.",
               status.partsDropped);
  AppendMetric(out, "tavrik_web_connections", "gauge", "Open connections on the web port.",
               status.webConnections);
  AppendMetric(out, "tavrik_web_receipts_skipped_total", "counter",
               "Whole receipts a slow viewer did not get.", status.receiptsSkipped);
  AppendMetric(out, "tavrik_log_level", "gauge", "The log level (-d).", status.logLevel);
  if (status.recognition) {
    AppendMetric(out, "tavrik_ocr_receipts_total", "counter", "Receipts whose text was read from their images.",
                 static_cast<int64_t>(status.recognition->read));
    AppendMetric(out, "tavrik_ocr_skipped_total", "counter",
                 "Receipts printed as images that were passed on unread: the reader was busy.",
                 static_cast<int64_t>(status.recognition->skipped));
  }
  AppendOutputMetrics(out, status.outputs, kReceiptOutputs);
  AppendOutputMetrics(out, status.eventOutputs, kEventOutputs);
  AppendRuleMetrics(out, status.rules);
  if (status.journal) {
    const JournalReport& journal = *status.journal;
    AppendMetric(out, "tavrik_journal_up", "gauge", "1 while the receipt journal is written.", journal.ok ? 1 : 0);
    AppendMetric(out, "tavrik_journal_written_total", "counter", "Receipts committed to the journal.",
                 static_cast<int64_t>(journal.written));
    AppendMetric(out, "tavrik_journal_queued", "gauge", "Receipts waiting to be committed to the journal.",
                 static_cast<int64_t>(journal.queued));
    AppendMetric(out, "tavrik_journal_dropped_total", "counter", "Receipts the journal's full queue turned away.",
                 static_cast<int64_t>(journal.dropped));
    AppendMetric(out, "tavrik_journal_unindexed", "gauge", "Receipts in the journal not yet in its text index.",
                 static_cast<int64_t>(journal.unindexed));
  }
  return out;
}

}  // namespace tavrik
