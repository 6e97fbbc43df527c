#pragma once
// One measured run against one target: connect the feeder and the clients,
// wait for every response head, feed for the set time (or stay idle), let
// the clients catch up, and collect what the clients and /proc saw.
#include <cstdint>
#include <string>

#include "load/ClientSwarm.h"
#include "load/LoadOptions.h"
#include "load/PrinterSink.h"
#include "load/ProcessProbe.h"
#include "load/StreamParser.h"
#include "load/TargetProcess.h"

namespace tavrik::load {

struct PhaseResult {
  std::string setupError;     // the run did not take place
  std::string targetProblem;  // the process under load died or misbehaved
  std::string feederError;
  double feederCpuMs = 0;
  double seconds = 0;  // the measured window
  uint64_t fedReceipts = 0;
  uint64_t fedBytes = 0;
  ClientSwarm::Totals window;  // delivered inside the window
  ClientSwarm::Summary summary;
  uint64_t latencySamples = 0;
  int64_t latencyP50 = 0;
  int64_t latencyP99 = 0;
  int64_t latencyMax = 0;
  int64_t arrivalP50 = 0;  // the same at the kernel's arrival stamp
  int64_t arrivalP99 = 0;
  bool drained = false;  // every client caught up after the feeder stopped
  double drainSeconds = 0;
  ProcessSample before;  // at the start of the window
  ProcessSample after;   // at its end
  ProcessSample end;     // after the drain
  // Pass-through only: what the printer sink received through the relay, and
  // the same feeder pace straight into a sink.
  bool passThrough = false;
  PrinterSink::Result printer;
  PrinterSink::Result direct;
};

class Phase {
 public:
  // printer: the sink the relay passes through to, or null.
  static PhaseResult Run(const LoadOptions& options, TargetProcess& target,
                         StreamParser::Mode mode, PrinterSink* printer = nullptr);
};

}  // namespace tavrik::load
