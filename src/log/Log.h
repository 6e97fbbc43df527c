#pragma once
// The one logging call of the relay, forwarding to the process's Logger.
// Start-up installs the logger; without one nothing is logged. Event thread
// only. Log calls never throw.
#include <cstdint>
#include <string_view>

#include "log/Logger.h"

namespace tavrik {

// What a line is about; a line is written when its level is at or above the
// log level (-d). The numbers are what operators set, so they stay fixed.
enum class LogLevel : uint8_t {
  kData = 1,          // every chunk of source data, every client connection request
  kFrameSent = 2,     // every frame as sent
  kProgress = 3,      // frame ready, cut detected, client connected, start
  kClientClosed = 5,  // a client connection closed
  kSourceReset = 6,   // the source is set up again
  kError = 10,        // errors, warnings, start-up, shutdown and termination
};

// nullptr: no logging. The logger must outlive its installation.
void SetProcessLogger(Logger* logger) noexcept;

// True when a line of this level would be written.
bool LogWanted(LogLevel level) noexcept;

void Log(LogLevel level, std::string_view text) noexcept;

// Writes the process logger's pending lines once they are due (see Logger::FlushIfDue).
void FlushLogIfDue() noexcept;

// Lets the process logger give back a buffer grown in a burst (see Logger::ReleaseSpareMemory).
void ReleaseLogSpareMemory() noexcept;

// For lines that cost something to build: make() (returning the text) is
// called only when the level is wanted.
template <class MakeText>
void LogLazy(LogLevel level, MakeText&& make) {
  if (LogWanted(level)) Log(level, make());
}

}  // namespace tavrik
