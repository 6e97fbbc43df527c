#pragma once
// A TCP or UDP endpoint with the members and events the relay relies on.
// Events are raised on the event thread, one at a time, also while a handler
// yields. The owner of the socket owns its SocketEvents receiver as well and
// keeps it alive for the socket's lifetime.
#include <cstdint>
#include <span>
#include <string>

#include "platform/Payload.h"

namespace tavrik {

enum SocketProtocol : int { kTcp = 0, kUdp = 1 };

enum SocketState : int16_t {
  kStateClosed = 0,
  kStateOpen = 1,
  kStateListening = 2,
  kStateConnectionPending = 3,
  kStateResolvingHost = 4,
  kStateHostResolved = 5,
  kStateConnecting = 6,
  kStateConnected = 7,
  kStateClosing = 8,
  kStateError = 9,
};

class SocketEvents {
 public:
  virtual ~SocketEvents() = default;
  virtual void OnConnect() {}
  // The accepted connection is held under requestId until a closed socket
  // Accepts it; a request still held when this handler returns is closed.
  virtual void OnConnectionRequest(int32_t /*requestId*/) {}
  virtual void OnDataArrival(int32_t /*bytesTotal*/) {}
  virtual void OnSendProgress(int32_t /*bytesSent*/, int32_t /*bytesRemaining*/) {}
  virtual void OnSendComplete() {}
  // The peer closed the connection; a local Close raises nothing.
  virtual void OnClose() {}
  virtual void OnError(int /*number*/, const std::string& /*description*/) {}
};

class Socket {
 public:
  virtual ~Socket() = default;
  virtual void SetEvents(SocketEvents* events) = 0;

  virtual int Protocol() const = 0;
  virtual void SetProtocol(int protocol) = 0;
  virtual const std::string& RemoteHost() const = 0;
  // On a UDP socket whose remote host is set, also opens it on an ephemeral
  // local port, receiving from that peer only.
  virtual void SetRemoteHost(const std::string& host) = 0;
  virtual int RemotePort() const = 0;
  virtual void SetRemotePort(int port) = 0;
  virtual int LocalPort() const = 0;
  virtual void SetLocalPort(int port) = 0;
  virtual int16_t State() const = 0;

  // Members that cannot do their work throw PlatformError.
  virtual void Connect(const std::string& host, int port) = 0;  // completes by event
  virtual void Listen() = 0;
  virtual void Accept(int32_t requestId) = 0;
  virtual void Bind(int port) = 0;
  // Moves all data arrived and not yet read into out (replacing its content).
  virtual void GetData(std::string& out) = 0;
  // Queues the bytes and returns at once; the parts go out in order, as one
  // stream, and SendProgress/SendComplete report the queue draining.
  virtual void SendData(std::span<const Payload> parts) = 0;
  void SendData(const Payload& part) { SendData(std::span<const Payload>(&part, 1)); }
  virtual void Close() = 0;
};

}  // namespace tavrik
