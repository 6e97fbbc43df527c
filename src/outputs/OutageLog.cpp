#include "outputs/OutageLog.h"

#include "log/Log.h"

namespace tavrik {

void OutageLog::Disconnected(const std::string& name, const std::string& reason) {
  if (inOutage_) return;
  inOutage_ = true;
  dropped_ = 0;
  Log(LogLevel::kError, name + " disconnected: " + reason);
}

void OutageLog::Connected(const std::string& name) {
  std::string line = name + " connected.";
  if (inOutage_ && dropped_ > 0) {
    line += ' ';
    line += std::to_string(dropped_);
    line += ' ';
    line += what_;
    line += " dropped while disconnected.";
  }
  Log(LogLevel::kError, line);
  inOutage_ = false;
}

}  // namespace tavrik
