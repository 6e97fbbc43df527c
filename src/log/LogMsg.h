#pragma once
// The one logging call of the relay, forwarding to the process's Logger.
// Start-up installs the logger; without one nothing is logged. Event thread
// only. Log calls never throw.
#include <cstdint>
#include <string_view>

#include "log/Logger.h"

namespace tavrik {

// nullptr: no logging. The logger must outlive its installation.
void SetProcessLogger(Logger* logger) noexcept;

// True when a message of this level would be written.
bool LogWanted(uint8_t level) noexcept;

void LogMsg(uint8_t level, std::string_view text) noexcept;

// For messages that cost something to build: make() (returning the text) is
// called only when the level is wanted.
template <class MakeText>
void LogMsgLazy(uint8_t level, MakeText&& make) {
  if (LogWanted(level)) LogMsg(level, make());
}

}  // namespace tavrik
