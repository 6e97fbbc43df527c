#pragma once
// The client side of the relay: the listener ListenSock, the client sockets
// WinSock (at most 31, indices 0-30, created on demand and reused) and the
// table Clients that runs parallel to them. Streams every part to the clients
// that asked for it, holding parts back for slow ones. Owned by the
// controller; everything runs on the event thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frames/PartSink.h"
#include "platform/Platform.h"
#include "server/ClientSlot.h"

namespace tavrik {

class ClientServer : public PartSink {
 public:
  static constexpr int kHighestIndex = 30;
  static constexpr int32_t kHoldBackBytes = 100000;
  static constexpr int64_t kBacklogCap = 1000000;

  // listenerFailed: called when the listener closes or fails (a full reset).
  ClientServer(Platform& platform, std::function<void()> listenerFailed);
  ~ClientServer() override;

  // Closes the listener if needed and listens on port; failures throw.
  void Listen(int port);
  void CloseListener();
  int16_t ListenerState() const { return ListenSock->State(); }
  int16_t AcceptClient();
  void CloseConnection(int32_t index);
  // Closes every client socket directly, without logging (unload).
  void CloseAllSockets();
  void SendToClients(const Payload& part) override;
  int UBound() const { return static_cast<int>(WinSock.size()) - 1; }

  std::unique_ptr<Socket> ListenSock;
  std::vector<std::unique_ptr<Socket>> WinSock;
  std::vector<ClientSlot> Clients;

 private:
  class ClientEvents;
  class ListenerEvents;

  void CreateClientSocket();
  void ListenSock_ConnectionRequest(int32_t requestId);
  void WinSock_DataArrival(int index);
  void WinSock_SendProgress(int index, int32_t bytesRemaining);
  void WinSock_SendComplete(int index);
  void WinSock_Error(int index, int number, const std::string& description);
  void SendToClient(int index, const Payload& part);

  Platform& platform_;
  std::function<void()> listenerFailed_;
  std::unique_ptr<ListenerEvents> listenerEvents_;
  std::vector<std::unique_ptr<ClientEvents>> clientEvents_;
  std::string request_;  // scratch for what clients send
};

}  // namespace tavrik
