#pragma once
// The tool's command line.
#include <cstddef>
#include <string>
#include <vector>

#include "load/ReceiptContent.h"

namespace tavrik::load {

struct LoadOptions {
  std::string relayPath;
  std::string outputsPath;  // -k for the relay: its outputs file
  bool attach = false;
  int sourcePort = 0;
  int clientPort = 0;
  int pid = 0;
  int clients = 1;
  int stalled = 0;
  double rate = 0;  // receipts per second; 0 = full speed
  double duration = 10;
  double idle = 0;  // seconds; above 0: idle mode
  bool smoke = false;
  bool ceiling = true;
  size_t receiptSize = 1024;
  ReceiptContent::Mix mix;  // what the receipts print
  int batch = 16;
  size_t window = 65536;  // bytes in flight at full speed; 0 = flood
  bool keepFolder = false;
  // After the relay started, the tool's own threads keep to these CPUs
  // ("1", "0,2"); empty: wherever the system puts them.
  std::vector<int> toolCpus;
  std::string jsonPath;
  bool help = false;
  // Pass-through: the relay runs with -o to a sink that plays the printer.
  bool printer = false;
  // The hidden mode that serves the fan-out ceiling in a process of its own.
  bool serveFanOut = false;
};

// Fills options from argv; returns an error text, or "" when all is well.
std::string ParseLoadOptions(int argc, char** argv, LoadOptions& options);

extern const char* const kLoadUsage;

}  // namespace tavrik::load
