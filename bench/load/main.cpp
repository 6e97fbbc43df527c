// tavrik_load: end-to-end load on the TavrikSrv relay over loopback. Starts
// (or attaches to) the relay, feeds it receipts as its source peer, reads the
// push stream with N clients, then does the same against a minimal fan-out
// ceiling, and reports both. Linux only.
#include <sched.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "load/FanOut.h"
#include "load/LoadOptions.h"
#include "load/Phase.h"
#include "load/PrinterSink.h"
#include "load/Report.h"
#include "load/TargetProcess.h"

int main(int argc, char** argv) {
  using namespace tavrik::load;
  signal(SIGPIPE, SIG_IGN);
  LoadOptions options;
  const std::string error = ParseLoadOptions(argc, argv, options);
  if (!error.empty() || options.help) {
    if (!error.empty()) std::cerr << "tavrik_load: " << error << "\n";
    (error.empty() ? std::cout : std::cerr) << kLoadUsage;
    return error.empty() ? 0 : 2;
  }
  if (options.serveFanOut) return FanOut(options.sourcePort, options.clientPort).Run();

  std::string startError;
  std::unique_ptr<PrinterSink> printer;
  if (options.printer) {
    printer = std::make_unique<PrinterSink>(options.receiptSize);
    if (printer->Port() == 0) {
      std::cerr << "tavrik_load: cannot listen for the printer's connection\n";
      return 2;
    }
  }
  std::unique_ptr<TargetProcess> relay =
      options.attach ? TargetProcess::Attach(options.sourcePort, options.clientPort, options.pid)
                     : TargetProcess::StartRelay(options.relayPath, options.keepFolder, options.outputsPath,
                                                 startError, printer ? printer->Port() : 0);
  if (!relay) {
    std::cerr << "tavrik_load: " << startError << "\n";
    return 2;
  }
  if (!options.toolCpus.empty()) {
    // The threads started from here on inherit it; the relay keeps its own.
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    for (const int cpu : options.toolCpus) CPU_SET(cpu, &cpus);
    if (sched_setaffinity(0, sizeof cpus, &cpus) != 0) {
      std::cerr << "tavrik_load: cannot keep to the CPUs given with --tool-cpus\n";
      return 2;
    }
  }
  // At a set rate the direct connection runs beside the relay, so that both
  // see the same machine at the same moments; at full speed it would take
  // the relay's CPU, so it runs after it.
  const bool directBeside = printer && options.rate > 0;
  PrinterSink::Result direct;
  std::thread besideRelay;
  if (directBeside) {
    besideRelay = std::thread([&] {
      direct = MeasureDirect(options.rate, options.receiptSize, options.batch, options.duration);
    });
  }
  PhaseResult relayResult = Phase::Run(options, *relay, StreamParser::Mode::Multipart, printer.get());
  if (besideRelay.joinable()) besideRelay.join();
  const std::string stopProblem = relay->Stop();
  if (relayResult.targetProblem.empty()) relayResult.targetProblem = stopProblem;
  if (relayResult.passThrough && relayResult.setupError.empty()) {
    relayResult.direct = directBeside ? direct
                                      : MeasureDirect(options.rate, options.receiptSize, options.batch,
                                                      options.duration);
  }

  std::optional<PhaseResult> ceiling;
  if (options.ceiling && options.idle <= 0 && relayResult.setupError.empty()) {
    std::unique_ptr<TargetProcess> fanOut = TargetProcess::StartFanOut(startError);
    if (fanOut) {
      ceiling = Phase::Run(options, *fanOut, StreamParser::Mode::Raw);
    } else {
      ceiling = PhaseResult();
      ceiling->setupError = startError;
    }
  }

  const Report report(options, relayResult, ceiling ? &*ceiling : nullptr);
  std::cout << report.Table() << report.Json() << std::endl;
  if (!options.jsonPath.empty()) std::ofstream(options.jsonPath) << report.Json() << "\n";
  if (!relayResult.setupError.empty()) return 2;
  return report.Faults().empty() ? 0 : 1;
}
