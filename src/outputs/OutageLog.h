#pragma once
// The log lines of an output's outage: one when it begins, one when the
// output is back, with the receipts its full queue dropped meanwhile.
#include <cstdint>
#include <string>

namespace tavrik {

class OutageLog {
 public:
  // what: the things an output passes on, as the recovery line counts them.
  explicit OutageLog(std::string what = "receipts") : what_(std::move(what)) {}
  // Logs the loss only for the first failure of an outage.
  void Disconnected(const std::string& name, const std::string& reason);
  void Dropped() { ++dropped_; }
  void Connected(const std::string& name);

 private:
  std::string what_;
  bool inOutage_ = false;
  uint64_t dropped_ = 0;  // since the outage began
};

}  // namespace tavrik
