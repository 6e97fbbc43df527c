#pragma once
// Small helpers for TCP on 127.0.0.1. Descriptors returned are owned by the
// caller.
#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace tavrik::load {

// Two distinct ports that were free a moment ago.
std::pair<int, int> FreePortPair();

// Connects to 127.0.0.1:port, retrying while refused, until timeoutS pass.
// Returns the descriptor (blocking) or -1.
int ConnectLoopback(int port, double timeoutS);

// A listening socket on 127.0.0.1:port, or -1.
int ListenLoopback(int port);

void SetNonBlocking(int fd);
void SetNoDelay(int fd);

// Receive time stamps: when the kernel took the bytes in, before any thread
// of the tool got to read them.
void StampArrivals(int fd);
// Reads like recv; arrivalNs: the kernel's stamp of the last piece read, on
// the MonotonicNs time base, or 0 without one.
ssize_t ReceiveStamped(int fd, std::span<char> into, int64_t& arrivalNs);

// Sends all of text on a blocking descriptor; false on failure.
bool SendAll(int fd, const std::string& text);

std::string ErrnoText(const char* what);

}  // namespace tavrik::load
