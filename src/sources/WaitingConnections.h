#pragma once
// TCP connections a listener accepted while another was being served: each
// is held unread (its peer's bytes wait in the kernel, and at most one read's
// worth with us) until its turn comes, in the order they came. What happens
// to a held connection meanwhile (the peer closes it, or it fails) is kept
// for the turn, so each connection is served and logged like the first.
// Owned by the network source; event thread only.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace tavrik {

class WaitingConnections {
 public:
  // With this many waiting, the owner stops taking connections: the next
  // ones wait in the kernel's listen backlog (nothing of theirs is read, so
  // nothing is lost), and a peer that floods the listener with connections
  // cannot grow the relay's memory.
  static constexpr size_t kMaxWaiting = 8;

  struct Connection : SocketEvents {
    std::unique_ptr<Socket> socket;
    bool closed = false;  // the peer ended its side while it waited
    bool failed = false;
    int errorNumber = 0;
    std::string errorDescription;

   private:
    void OnClosed() override { closed = true; }
    void OnError(int number, const std::string& description) override {
      failed = true;
      errorNumber = number;
      errorDescription = description;
    }
  };

  explicit WaitingConnections(Platform& platform) : platform_(platform) {}

  // Accepts the request and holds it. Throws when the accept fails.
  void Hold(int32_t requestId);
  bool Full() const { return waiting_.size() >= kMaxWaiting; }
  // The longest-waiting connection, or null; its socket still has the
  // connection's own events set and reading paused.
  std::unique_ptr<Connection> TakeNext();
  void Clear() { waiting_.clear(); }
  size_t Count() const { return waiting_.size(); }

 private:
  Platform& platform_;
  std::deque<std::unique_ptr<Connection>> waiting_;
};

}  // namespace tavrik
