#include "load/Report.h"

#include <cstdio>
#include <sstream>

namespace tavrik::load {
namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double Ms(int64_t ns) {
  return static_cast<double>(ns) / 1e6;
}

double Ratio(double part, double whole) {
  return whole > 0 ? part / whole : 0;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

Report::Report(const LoadOptions& options, const PhaseResult& relay, const PhaseResult* ceiling)
    : options_(options), relay_(relay), ceiling_(ceiling) {
  relayFigures_ = Compute(relay_);
  if (ceiling_ != nullptr) ceilingFigures_ = Compute(*ceiling_);
  const ClientSwarm::Summary& s = relay_.summary;
  if (!relay_.setupError.empty()) faults_.push_back("set-up: " + relay_.setupError);
  if (!relay_.targetProblem.empty()) faults_.push_back(relay_.targetProblem);
  if (!relay_.feederError.empty()) faults_.push_back("feeder: " + relay_.feederError);
  if (s.protocolErrors > 0)
    faults_.push_back(std::to_string(s.protocolErrors) + " client(s) saw a protocol error");
  if (s.corrupted > 0) faults_.push_back(std::to_string(s.corrupted) + " corrupted frame(s)");
  if (s.duplicated > 0)
    faults_.push_back(std::to_string(s.duplicated) + " duplicated or reordered receipt(s)");
  if (options_.smoke && s.lost > 0) faults_.push_back(std::to_string(s.lost) + " lost receipt(s)");
  if (options_.smoke && !relay_.drained)
    faults_.push_back("the clients never caught up with the feeder");
  if (relay_.passThrough && relay_.setupError.empty() && relay_.printer.bytes != relay_.fedBytes) {
    faults_.push_back("the printer received " + std::to_string(relay_.printer.bytes) + " of " +
                      std::to_string(relay_.fedBytes) + " bytes fed");
  }
  if (ceiling_ != nullptr) {
    if (!ceiling_->setupError.empty()) faults_.push_back("ceiling set-up: " + ceiling_->setupError);
    if (ceiling_->summary.protocolErrors > 0)
      faults_.push_back("ceiling: a client saw a protocol error");
  }
}

Report::Figures Report::Compute(const PhaseResult& phase) const {
  Figures f;
  if (phase.seconds <= 0) return f;
  const double clients = options_.clients;
  const auto frames = static_cast<double>(phase.window.frames);
  f.receiptsPerClient = phase.window.payload > 0 && phase.window.frames == 0
                            ? static_cast<double>(phase.window.payload) /
                                  static_cast<double>(options_.receiptSize) / clients /
                                  phase.seconds  // raw mode: receipts' worth of bytes
                            : frames / clients / phase.seconds;
  f.fedPerSecond = static_cast<double>(phase.fedReceipts) / phase.seconds;
  f.mbPerSecond = static_cast<double>(phase.window.payload) / 1e6 / phase.seconds;
  f.wireMbPerSecond = static_cast<double>(phase.window.wire) / 1e6 / phase.seconds;
  if (phase.before.valid && phase.after.valid) {
    f.cpuMs = phase.after.cpuMs - phase.before.cpuMs;
    f.cpuMsFine = phase.after.cpuMsFine - phase.before.cpuMsFine;
    if (frames > 0) f.cpuUsPerFrame = f.cpuMs * 1000 / frames;
  }
  return f;
}

std::string Report::ModeText() const {
  if (options_.idle > 0) return "idle";
  if (options_.smoke) return "smoke";
  return options_.stalled > 0 ? "stalled" : "load";
}

std::string Report::Table() const {
  std::ostringstream out;
  const Figures& r = relayFigures_;
  const Figures& c = ceilingFigures_;
  const ClientSwarm::Summary& s = relay_.summary;
  const bool idle = options_.idle > 0;
  out << "TavrikSrv " << ModeText() << ": " << options_.clients << " client(s)";
  if (options_.stalled > 0) out << " + " << options_.stalled << " stalled";
  if (idle) {
    out << ", no receipts, " << Fixed(relay_.seconds, 1) << " s\n";
  } else {
    std::string pace =
        options_.rate > 0 ? Fixed(options_.rate, 0) + " receipts/s" : std::string("full speed");
    if (options_.rate <= 0) {
      pace += options_.window > 0 ? " (window " + std::to_string(options_.window) + " bytes)"
                                  : " (flood)";
    }
    out << ", " << pace << ", " << Fixed(relay_.seconds, 1) << " s, receipts of "
        << options_.receiptSize << " bytes\n";
  }
  if (!relay_.setupError.empty()) {
    out << "  set-up failed: " << relay_.setupError << "\n";
    return out.str();
  }
  if (!idle) {
    const bool withCeiling = ceiling_ != nullptr && ceiling_->setupError.empty();
    out << "                                        relay"
        << (withCeiling ? "    ceiling  relay/ceiling" : "") << "\n";
    const auto row = [&](const char* name, double relay, double ceiling, int decimals) {
      char line[160];
      if (withCeiling) {
        std::snprintf(line, sizeof line, "  %-32s %10.*f %10.*f %10.3f\n", name, decimals, relay,
                      decimals, ceiling, Ratio(relay, ceiling));
      } else {
        std::snprintf(line, sizeof line, "  %-32s %10.*f\n", name, decimals, relay);
      }
      out << line;
    };
    row("receipts/s per client", r.receiptsPerClient, c.receiptsPerClient, 0);
    row("delivered MB/s (all clients)", r.mbPerSecond, c.mbPerSecond, 2);
    out << "  receipts/s fed                   " << Fixed(r.fedPerSecond, 0) << "\n";
    out << "  latency p50 / p99 / max (ms)     " << Fixed(Ms(relay_.latencyP50), 3) << " / "
        << Fixed(Ms(relay_.latencyP99), 3) << " / " << Fixed(Ms(relay_.latencyMax), 3) << "  ("
        << relay_.latencySamples << " samples)\n";
    out << "  at arrival p50 / p99 (ms)        " << Fixed(Ms(relay_.arrivalP50), 3) << " / "
        << Fixed(Ms(relay_.arrivalP99), 3) << "\n";
    if (relay_.passThrough) {
      const auto line = [&](const char* name, const PrinterSink::Latency& p, uint64_t bytes) {
        out << name << Fixed(Ms(p.p50), 3) << " / " << Fixed(Ms(p.p99), 3) << " / "
            << Fixed(Ms(p.max), 3) << "  (" << p.samples << " samples, " << bytes << " bytes)\n";
      };
      const PrinterSink::Result& via = relay_.printer;
      const PrinterSink::Result& direct = relay_.direct;
      line("  to printer via relay p50/p99/max ", via.read, via.bytes);
      line("  to printer direct p50/p99/max    ", direct.read, direct.bytes);
      line("  arrival via relay p50/p99/max    ", via.arrival, via.bytes);
      line("  arrival direct p50/p99/max       ", direct.arrival, direct.bytes);
      const auto micros = [](int64_t ns) { return Fixed(static_cast<double>(ns) / 1e3, 1); };
      out << "  added p50 / p99 (us)             " << micros(via.read.p50 - direct.read.p50) << " / "
          << micros(via.read.p99 - direct.read.p99) << " as read, "
          << micros(via.arrival.p50 - direct.arrival.p50) << " / "
          << micros(via.arrival.p99 - direct.arrival.p99) << " at arrival\n";
    }
  }
  if (relay_.after.valid) {
    out << "  relay CPU                        " << Fixed(r.cpuMs, 0) << " ms ("
        << Fixed(r.cpuMsFine, 1) << " ms scheduled), " << Fixed(r.cpuMs / 10 / relay_.seconds, 1)
        << " % of a core";
    if (!idle) out << ", " << Fixed(r.cpuUsPerFrame, 2) << " us per delivered frame";
    out << "\n";
    out << "  tool CPU                         feeder "
        << Fixed(relay_.feederCpuMs / 10 / relay_.seconds, 1) << " %, clients "
        << Fixed(static_cast<double>(relay_.window.cpuNs) / 1e7 / relay_.seconds, 1)
        << " % of a core\n";
    out << "  relay RSS                        peak "
        << Fixed(static_cast<double>(relay_.end.peakRssKb) / 1024, 1) << " MiB, end "
        << Fixed(static_cast<double>(relay_.end.rssKb) / 1024, 1) << " MiB\n";
  }
  out << "  checks                           " << s.delivered << " receipts delivered ("
      << s.minDelivered << ".." << s.maxDelivered << " per client), " << s.lost << " lost, "
      << s.duplicated << " duplicated, " << s.corrupted << " corrupted, " << s.protocolErrors
      << " protocol errors, " << s.keepAlives << " keep-alives";
  if (!idle)
    out << "; " << (relay_.drained ? "caught up" : "NOT caught up") << " after "
        << Fixed(relay_.drainSeconds, 2) << " s";
  out << "\n";
  if (ceiling_ != nullptr && !ceiling_->setupError.empty())
    out << "  ceiling failed: " << ceiling_->setupError << "\n";
  if (ceiling_ != nullptr && ceiling_->summary.missingBytes > 0) {
    out << "  ceiling: " << ceiling_->summary.missingBytes
        << " bytes not delivered (stalled clients excluded)\n";
  }
  for (const std::string& error : s.errors) out << "  ! " << error << "\n";
  for (const std::string& fault : faults_) out << "  FAULT: " << fault << "\n";
  return out.str();
}

std::string Report::Json() const {
  std::ostringstream out;
  const Figures& r = relayFigures_;
  const ClientSwarm::Summary& s = relay_.summary;
  out << "{\"tool\":\"tavrik_load\",\"mode\":\"" << ModeText()
      << "\",\"clients\":" << options_.clients << ",\"stalled\":" << options_.stalled
      << ",\"rate\":" << Fixed(options_.rate, 1) << ",\"window_bytes\":" << options_.window
      << ",\"seconds\":" << Fixed(relay_.seconds, 3)
      << ",\"receipt_bytes\":" << options_.receiptSize
      << ",\"receipts_per_s\":" << Fixed(r.receiptsPerClient, 1)
      << ",\"fed_per_s\":" << Fixed(r.fedPerSecond, 1)
      << ",\"mb_per_s\":" << Fixed(r.mbPerSecond, 3)
      << ",\"wire_mb_per_s\":" << Fixed(r.wireMbPerSecond, 3)
      << ",\"latency_ms\":{\"p50\":" << Fixed(Ms(relay_.latencyP50), 3)
      << ",\"p99\":" << Fixed(Ms(relay_.latencyP99), 3)
      << ",\"max\":" << Fixed(Ms(relay_.latencyMax), 3) << ",\"samples\":" << relay_.latencySamples
      << "}"
      << ",\"arrival_latency_ms\":{\"p50\":" << Fixed(Ms(relay_.arrivalP50), 3)
      << ",\"p99\":" << Fixed(Ms(relay_.arrivalP99), 3) << "}"
      << ",\"cpu_ms\":" << Fixed(r.cpuMs, 1) << ",\"cpu_ms_sched\":" << Fixed(r.cpuMsFine, 2)
      << ",\"cpu_us_per_frame\":" << Fixed(r.cpuUsPerFrame, 3)
      << ",\"rss_peak_kb\":" << relay_.end.peakRssKb << ",\"rss_end_kb\":" << relay_.end.rssKb
      << ",\"tool_cpu_ms\":{\"feeder\":" << Fixed(relay_.feederCpuMs, 1)
      << ",\"clients\":" << Fixed(static_cast<double>(relay_.window.cpuNs) / 1e6, 1) << "}"
      << ",\"delivered\":" << s.delivered << ",\"lost\":" << s.lost
      << ",\"duplicated\":" << s.duplicated << ",\"corrupted\":" << s.corrupted
      << ",\"protocol_errors\":" << s.protocolErrors << ",\"keepalives\":" << s.keepAlives
      << ",\"drained\":" << (relay_.drained ? "true" : "false");
  if (relay_.passThrough) {
    const auto latency = [&](const PrinterSink::Latency& p) {
      out << "{\"p50_ms\":" << Fixed(Ms(p.p50), 3) << ",\"p99_ms\":" << Fixed(Ms(p.p99), 3)
          << ",\"max_ms\":" << Fixed(Ms(p.max), 3) << ",\"samples\":" << p.samples << "}";
    };
    const auto figures = [&](const PrinterSink::Result& p) {
      out << "{\"bytes\":" << p.bytes << ",\"read\":";
      latency(p.read);
      out << ",\"arrival\":";
      latency(p.arrival);
      out << "}";
    };
    out << ",\"printer\":{\"via_relay\":";
    figures(relay_.printer);
    out << ",\"direct\":";
    figures(relay_.direct);
    out << "}";
  }
  if (ceiling_ != nullptr && ceiling_->setupError.empty()) {
    const Figures& c = ceilingFigures_;
    out << ",\"ceiling\":{\"receipts_per_s\":" << Fixed(c.receiptsPerClient, 1)
        << ",\"mb_per_s\":" << Fixed(c.mbPerSecond, 3) << ",\"cpu_ms\":" << Fixed(c.cpuMs, 1)
        << ",\"rss_peak_kb\":" << ceiling_->end.peakRssKb
        << ",\"missing_bytes\":" << ceiling_->summary.missingBytes << "}"
        << ",\"ratio\":{\"receipts_per_s\":"
        << Fixed(Ratio(r.receiptsPerClient, c.receiptsPerClient), 4)
        << ",\"mb_per_s\":" << Fixed(Ratio(r.mbPerSecond, c.mbPerSecond), 4) << "}";
  } else {
    out << ",\"ceiling\":null,\"ratio\":null";
  }
  out << ",\"faults\":[";
  for (size_t i = 0; i < faults_.size(); ++i) out << (i ? "," : "") << Quoted(faults_[i]);
  out << "],\"ok\":" << (faults_.empty() ? "true" : "false") << "}";
  return out.str();
}

}  // namespace tavrik::load
