#pragma once
// The client side of the relay: the listener and up to 31 client connections
// (numbered 0-30 in the log, created on demand and reused). Streams every part
// to the clients that asked for it, holding parts back for slow ones. Owns the
// listener and the client sockets; owned by the relay; everything runs on the
// event thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connections/ConnectionSlots.h"
#include "platform/Platform.h"

namespace tavrik {

class ClientServer {
 public:
  static constexpr int kMaxClients = 31;
  // A client with this many bytes unsent gets no more parts until it catches up.
  static constexpr int32_t kHoldBackBytes = 100000;
  // Held-back parts beyond this many bytes are dropped, oldest first.
  static constexpr int64_t kHeldBackCap = 1000000;

  // listenerFailed: called when the listener closes or fails (a full restart).
  ClientServer(Platform& platform, std::function<void()> listenerFailed);
  ~ClientServer();
  ClientServer(const ClientServer&) = delete;
  ClientServer& operator=(const ClientServer&) = delete;

  // Closes the listener if needed and listens on port; failures throw.
  void Listen(int port);
  void CloseListener();
  bool IsListenerClosed() const;
  // Closes one client connection, logging it; unknown numbers are ignored.
  void CloseClient(int index);
  // Closes every client connection, logging each.
  void CloseAllClients();
  // Closes every client socket directly, without logging (shutdown).
  void AbortAllClients();
  // Hands the part to every streaming client, or holds it back for a slow one.
  void Broadcast(const Payload& part);

  // --- what tests and status reports read ---
  int SocketCount() const { return clients_.Count(); }
  int StreamingCount() const;
  bool IsStreaming(int index) const;
  int32_t UnsentBytes(int index) const;
  int64_t HeldBackBytes(int index) const;
  size_t HeldBackRuns(int index) const;
  // Parts held back for slow clients, and those of them dropped, since start.
  int64_t PartsHeldBack() const { return partsHeldBack_; }
  int64_t PartsDropped() const { return partsDropped_; }

 private:
  class ListenerEvents;
  struct Client {
    bool headSent = false;        // the response head went out; the client streams
    std::vector<Payload> heldBack;  // parts held back while the client is slow
    int64_t heldBackBytes = 0;
    int32_t heldBackParts = 0;
  };
  friend class ConnectionSlots<ClientServer, Client>;

  std::optional<int> FreeClientIndex();
  void OnConnectionRequest(int32_t requestId);
  void OnSlotData(int index);
  void OnSlotClosed(int index) { CloseClient(index); }
  void OnSlotError(int index, int number, const std::string& description);
  void OnSlotSendDrained(int /*index*/) {}  // the unsent bytes are all it needs
  void SendToClient(int index, const Payload& part);

  Platform& platform_;
  std::function<void()> listenerFailed_;
  std::unique_ptr<ListenerEvents> listenerEvents_;  // declared first: the listener goes first
  std::unique_ptr<Socket> listener_;
  ConnectionSlots<ClientServer, Client> clients_;
  std::string request_;  // scratch for what clients send
  int64_t partsHeldBack_ = 0;
  int64_t partsDropped_ = 0;
};

}  // namespace tavrik
