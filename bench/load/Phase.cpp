#include "load/Phase.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "load/Feeder.h"
#include "load/Loopback.h"
#include "load/MonotonicClock.h"

namespace tavrik::load {
namespace {

constexpr double kConnectSeconds = 15;
constexpr double kHeadSeconds = 10;
// Held-back parts go out with the next broadcast: the frame of the last
// cut's 0x00 (after the frame timeout) or a keep-alive within 3 s.
constexpr double kDrainSeconds = 10;

ClientSwarm::Totals Minus(const ClientSwarm::Totals& a, const ClientSwarm::Totals& b) {
  return {a.frames - b.frames, a.payload - b.payload, a.wire - b.wire, a.cpuNs - b.cpuNs};
}

// Sleeps for seconds, or less if the target ends; false then.
bool StayAlive(TargetProcess& target, double seconds) {
  const int64_t until = MonotonicNs() + static_cast<int64_t>(seconds * 1e9);
  while (MonotonicNs() < until) {
    if (!target.Ended().empty()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Says why set-up failed when the process under load is gone.
void AppendEnded(std::string& text, TargetProcess& target) {
  const std::string ended = target.Ended();
  if (ended.empty()) return;
  text.append("; ").append(ended);
}

}  // namespace

PhaseResult Phase::Run(const LoadOptions& options, TargetProcess& target, StreamParser::Mode mode,
                       PrinterSink* printer) {
  PhaseResult result;
  auto times = std::make_unique<SendTimes>();
  if (printer != nullptr) printer->Start(times.get());
  const bool idle = options.idle > 0;
  int feed = -1;
  if (!idle) {
    // The source first: a listening relay may open its client port only then.
    feed = ConnectLoopback(target.SourcePort(), kConnectSeconds);
    if (feed < 0) {
      result.setupError = ErrnoText("cannot connect to the source port");
      AppendEnded(result.setupError, target);
      return result;
    }
  }
  Feeder::Config feederConfig;
  feederConfig.rate =
      mode == StreamParser::Mode::Raw ? 0 : options.rate;  // the ceiling runs flat out
  feederConfig.receiptSize = options.receiptSize;
  feederConfig.batch = options.batch;
  feederConfig.seconds = options.duration;
  feederConfig.mix = options.mix;
  feederConfig.window = options.window / options.receiptSize;
  if (options.window > 0) {
    feederConfig.window =
        std::max<uint64_t>(feederConfig.window, static_cast<uint64_t>(options.batch));
  }
  ClientSwarm swarm({mode, options.receiptSize, times.get(), options.mix});
  feederConfig.waitDelivered = [&swarm](uint64_t seq, int64_t untilNs) {
    return swarm.WaitDelivered(seq, untilNs);
  };
  std::unique_ptr<Feeder> feeder =
      feed >= 0 ? std::make_unique<Feeder>(feed, feederConfig, *times) : nullptr;

  result.setupError = swarm.Connect(target.ClientPort(), options.clients, options.stalled);
  if (result.setupError.empty()) {
    swarm.Start();
    result.setupError = swarm.WaitHeads(kHeadSeconds);
  }
  if (!result.setupError.empty()) {
    AppendEnded(result.setupError, target);
    return result;
  }

  const int pid = target.Pid();
  const ClientSwarm::Totals base = swarm.Snapshot();
  result.before = ProcessProbe::Sample(pid);
  const int64_t start = MonotonicNs();
  uint64_t lastSeq = 0;
  if (idle) {
    StayAlive(target, options.idle);
    result.seconds = SecondsBetween(start, MonotonicNs());
  } else {
    feeder->Start();
    feeder->Join();
    result.seconds = SecondsBetween(feeder->StartNs(), feeder->StopNs());
    lastSeq = feeder->LastSeq();
    result.fedReceipts = lastSeq;
    result.fedBytes = feeder->Bytes();
    result.feederError = feeder->Error();
    result.feederCpuMs = static_cast<double>(feeder->CpuNs()) / 1e6;
  }
  result.after = ProcessProbe::Sample(pid);
  result.window = Minus(swarm.Snapshot(), base);

  const int64_t drainStart = MonotonicNs();
  const auto drainUntil = drainStart + static_cast<int64_t>(kDrainSeconds * 1e9);
  while (!(result.drained = swarm.CaughtUp(lastSeq, result.fedBytes)) &&
         MonotonicNs() < drainUntil && target.Ended().empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.drainSeconds = SecondsBetween(drainStart, MonotonicNs());
  result.end = ProcessProbe::Sample(pid);
  swarm.Stop();
  result.summary = swarm.Finish(lastSeq, result.fedBytes);
  const LatencyHistogram& latency = swarm.Latency();
  result.latencySamples = latency.Count();
  result.latencyP50 = latency.Percentile(0.50);
  result.latencyP99 = latency.Percentile(0.99);
  result.latencyMax = latency.Max();
  result.arrivalP50 = swarm.ArrivalLatency().Percentile(0.50);
  result.arrivalP99 = swarm.ArrivalLatency().Percentile(0.99);
  result.targetProblem = target.Ended();
  if (printer != nullptr) {
    result.passThrough = true;
    printer->WaitFor(result.fedBytes, kDrainSeconds);
    result.printer = printer->Stop();
  }
  return result;
}

}  // namespace tavrik::load
