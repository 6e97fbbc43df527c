#include "log/LogMsg.h"

namespace tavrik {
namespace {

Logger* processLogger = nullptr;

}  // namespace

void SetProcessLogger(Logger* logger) noexcept {
  processLogger = logger;
}

bool LogWanted(uint8_t level) noexcept {
  return processLogger != nullptr && level >= processLogger->DebugLevel();
}

void LogMsg(uint8_t level, std::string_view text) noexcept {
  if (processLogger != nullptr) processLogger->LogDebug(level, text);
}

}  // namespace tavrik
