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
void AppendOutputMetrics(std::string& out, const std::vector<OutputReport>& outputs) {
  if (outputs.empty()) return;
  struct Family {
    std::string_view name, type, help;
    uint64_t (*value)(const OutputReport&);
  };
  const Family families[] = {
      {"tavrik_output_connected", "gauge", "1 while the output is connected (or listening).",
       [](const OutputReport& o) -> uint64_t { return o.connected ? 1 : 0; }},
      {"tavrik_output_queued", "gauge", "Receipts waiting to go out.",
       [](const OutputReport& o) { return o.queued; }},
      {"tavrik_output_sent_total", "counter",
       "Receipts delivered: acknowledged by a TCP recorder or an MQTT broker (QoS 1), else handed to the network.",
       [](const OutputReport& o) { return o.sent; }},
      {"tavrik_output_dropped_total", "counter", "Receipts lost to a full queue or a slow reader.",
       [](const OutputReport& o) { return o.dropped; }},
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

}  // namespace

std::string StatusJson(const RelayStatus& status, std::string_view version) {
  std::string out = "{";
  AppendField(out, "version", version);
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
  AppendField(out, "webConnections", status.webConnections);
  AppendField(out, "receiptsSkipped", status.receiptsSkipped);
  AppendField(out, "lastFrameTime", status.lastFrameTime);
  AppendField(out, "logLevel", status.logLevel);
  AppendField(out, "printerStatus", status.printerStatus);
  out += "\"outputs\":[";
  for (const OutputReport& output : status.outputs) {
    out += '{';
    AppendField(out, "name", output.name);
    out += output.connected ? "\"connected\":true," : "\"connected\":false,";
    AppendField(out, "queued", static_cast<int64_t>(output.queued));
    AppendField(out, "sent", static_cast<int64_t>(output.sent));
    AppendField(out, "dropped", static_cast<int64_t>(output.dropped));
    out.back() = '}';
    out += ',';
  }
  if (!status.outputs.empty()) out.pop_back();
  out += ']';
  if (status.journal) {
    const JournalReport& journal = *status.journal;
    out += ",\"journal\":{";
    AppendField(out, "state", journal.ok ? "ok" : "failing");
    AppendField(out, "path", journal.path);
    AppendField(out, "queued", static_cast<int64_t>(journal.queued));
    AppendField(out, "written", static_cast<int64_t>(journal.written));
    AppendField(out, "dropped", static_cast<int64_t>(journal.dropped));
    AppendField(out, "lastSeq", static_cast<int64_t>(journal.lastSeq));
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
  AppendOutputMetrics(out, status.outputs);
  if (status.journal) {
    const JournalReport& journal = *status.journal;
    AppendMetric(out, "tavrik_journal_up", "gauge", "1 while the receipt journal is written.", journal.ok ? 1 : 0);
    AppendMetric(out, "tavrik_journal_written_total", "counter", "Receipts committed to the journal.",
                 static_cast<int64_t>(journal.written));
    AppendMetric(out, "tavrik_journal_queued", "gauge", "Receipts waiting to be committed to the journal.",
                 static_cast<int64_t>(journal.queued));
    AppendMetric(out, "tavrik_journal_dropped_total", "counter", "Receipts the journal's full queue turned away.",
                 static_cast<int64_t>(journal.dropped));
  }
  return out;
}

}  // namespace tavrik
