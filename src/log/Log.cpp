#include "log/Log.h"

namespace tavrik {
namespace {

Logger* processLogger = nullptr;

}  // namespace

void SetProcessLogger(Logger* logger) noexcept {
  processLogger = logger;
}

bool LogWanted(LogLevel level) noexcept {
  return processLogger != nullptr && static_cast<uint8_t>(level) >= processLogger->Level();
}

void Log(LogLevel level, std::string_view text) noexcept {
  if (processLogger != nullptr) processLogger->Write(static_cast<uint8_t>(level), text);
}

void FlushLogIfDue() noexcept {
  if (processLogger != nullptr) processLogger->FlushIfDue();
}

void ReleaseLogSpareMemory() noexcept {
  if (processLogger != nullptr) processLogger->ReleaseSpareMemory();
}

}  // namespace tavrik
