// The status responder and monitor must not depend on how the stream is
// split, must answer within a bound, and must agree with each other: a
// monitor that hears the responder's answers sees a healthy printer with no
// query left waiting. The monitor must also survive any printer bytes.
//
// Input layout: byte 0 = n, the next n bytes are chunk lengths (0 is an empty
// chunk, which must change nothing), used round and round; the rest is the
// POS stream. n = 0 feeds the stream as one chunk.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tap/PrinterStatusMonitor.h"
#include "tap/StatusResponder.h"
#include "FuzzInput.h"

namespace {

using tavrik::fuzz::Chunks;
using tavrik::fuzz::Require;

using tavrik::tap::PrinterStatusMonitor;
using tavrik::tap::StatusField;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto [pattern, stream] = tavrik::fuzz::ReadSplitInput(data, size);

  tavrik::tap::StatusResponder whole;
  std::string expected;
  whole.Scan(stream, expected);
  Require(expected.size() <= 20 * stream.size());

  tavrik::tap::StatusResponder chunked;
  std::string replies;
  for (const std::string_view chunk : Chunks(stream, pattern)) chunked.Scan(chunk, replies);
  Require(replies == expected);
  Require(chunked.AutoStatusEnabled() == whole.AutoStatusEnabled());

  // Each POS byte, then what the responder answered to it, as a printer
  // would: the monitor's queue stays short, so every answer meets its query.
  std::vector<std::string> lines;
  PrinterStatusMonitor monitor([&lines](const std::string& line) { lines.push_back(line); });
  tavrik::tap::StatusResponder bytewise;
  std::string answer;
  for (size_t i = 0; i < stream.size(); ++i) {
    answer.clear();
    bytewise.Scan(stream.substr(i, 1), answer);
    monitor.OnPosBytes(stream.substr(i, 1));
    monitor.OnPrinterBytes(answer);
  }
  Require(monitor.PendingQueries() == 0);
  const tavrik::tap::PrinterStatus& status = monitor.Status();
  for (size_t i = 0; i < tavrik::tap::kStatusFieldCount; ++i) {
    Require(!status.IsOn(static_cast<StatusField>(i)));
  }
  Require(lines.size() <= 1);  // at most the first "online"
  Require(!status.Describe().empty());

  // The stream read as the printer's replies must not upset the monitor either.
  monitor.OnPrinterBytes(stream);
  Require(monitor.PendingQueries() <= PrinterStatusMonitor::kMaxPendingQueries);
  return 0;
}
