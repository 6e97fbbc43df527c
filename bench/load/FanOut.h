#pragma once
// The ceiling: the least a relay must do, in one thread on epoll. Accepts one
// source peer and any number of clients; answers a client's first data with
// the same 102-byte head the relay sends, then copies every byte read from
// the source to every client that has its head, with no framing at all.
//
// Like the relay it never lets one client hold the others up: the source is
// paused while a client that is making progress has 256 kB unsent, but a
// client that took nothing for half a second is treated as stalled — it no
// longer pauses the source, and data beyond 4 MB unsent is dropped for it.
// Runs in a process of its own (the tool started again with --serve-fanout)
// so that its CPU time and memory are measured like the relay's.
#include <cstdint>
#include <string>
#include <vector>

namespace tavrik::load {

class FanOut {
 public:
  FanOut(int sourcePort, int clientPort);
  // Serves until the process is signalled; returns an exit status on failure.
  int Run();

 private:
  struct Client {
    int fd = -1;
    bool headSent = false;
    bool stalled = false;
    std::string pending;
    size_t sent = 0;  // of pending
    int64_t lastProgress = 0;
    size_t Unsent() const { return pending.size() - sent; }
  };

  void AcceptSource();
  void AcceptClient();
  void ReadSource();
  void ReadClient(size_t index);
  void Flush(size_t index);
  void Distribute(const char* data, size_t size);
  void CloseClient(size_t index);
  void WatchWrites(size_t index, bool on);
  void UpdateSourcePause(int64_t now);

  int sourcePort_;
  int clientPort_;
  int epoll_ = -1;
  int sourceListener_ = -1;
  int clientListener_ = -1;
  int source_ = -1;
  bool sourcePaused_ = false;
  std::vector<Client> clients_;
  std::vector<char> readBuffer_;
};

}  // namespace tavrik::load
