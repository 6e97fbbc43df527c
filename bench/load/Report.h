#pragma once
// Turns the phase results into figures: a table for people and one JSON line
// for scripts, and decides whether the run found a fault.
#include <string>
#include <vector>

#include "load/LoadOptions.h"
#include "load/Phase.h"

namespace tavrik::load {

class Report {
 public:
  Report(const LoadOptions& options, const PhaseResult& relay, const PhaseResult* ceiling);

  std::string Table() const;
  std::string Json() const;
  // Faults of the relay's stream (protocol, corruption, duplicates, in smoke
  // runs also losses) and failures of the run itself; empty when clean.
  const std::vector<std::string>& Faults() const { return faults_; }

 private:
  struct Figures {
    double receiptsPerClient = 0;  // per second
    double fedPerSecond = 0;
    double mbPerSecond = 0;  // receipt bytes over all clients, 10^6 bytes
    double wireMbPerSecond = 0;
    double cpuMs = 0;
    double cpuMsFine = 0;
    double cpuUsPerFrame = 0;
  };
  Figures Compute(const PhaseResult& phase) const;
  std::string ModeText() const;

  const LoadOptions& options_;
  const PhaseResult& relay_;
  const PhaseResult* ceiling_;
  Figures relayFigures_;
  Figures ceilingFigures_;
  std::vector<std::string> faults_;
};

}  // namespace tavrik::load
