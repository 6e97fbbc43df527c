#pragma once
// A TCP or UDP endpoint. Events are raised on the event thread, one at a
// time, also while a handler runs pending events. The owner of the socket owns
// its SocketEvents receiver as well and keeps it alive for the socket's
// lifetime. Operations that cannot do their work throw PlatformError.
#include <cstdint>
#include <span>
#include <string>

#include "platform/Payload.h"

namespace tavrik {

enum class SocketState : int16_t {
  kClosed = 0,
  kOpen = 1,  // UDP, bound or addressed
  kListening = 2,
  kConnectionPending = 3,
  kResolvingHost = 4,
  kHostResolved = 5,
  kConnecting = 6,
  kConnected = 7,
  kClosing = 8,  // the peer closed the connection; sending still works until Close
  kError = 9,
};

class SocketEvents {
 public:
  virtual ~SocketEvents() = default;
  virtual void OnConnected() {}
  // The accepted connection is held under requestId until a closed socket
  // Accepts it; a request still held when this handler returns is closed.
  virtual void OnConnectionRequest(int32_t /*requestId*/) {}
  virtual void OnData() {}
  virtual void OnSendProgress(int32_t /*bytesSent*/, int32_t /*bytesRemaining*/) {}
  virtual void OnSendComplete() {}
  // The peer closed the connection; a local Close raises nothing.
  virtual void OnClosed() {}
  virtual void OnError(int /*number*/, const std::string& /*description*/) {}
};

class Socket {
 public:
  virtual ~Socket() = default;
  virtual void SetEvents(SocketEvents* events) = 0;
  virtual SocketState State() const = 0;
  // The peer of the connection, or of the latest connection request.
  virtual const std::string& RemoteHost() const = 0;

  // The opening operations need a closed socket.
  // TCP: connects to host:port; completes with OnConnected or OnError.
  virtual void Connect(const std::string& host, int port) = 0;
  // TCP: listens on port (0: any free port) of every local address.
  virtual void Listen(int port) = 0;
  // TCP: listens on port of one local address given as digits ("127.0.0.1",
  // "::1") or "localhost"; an empty address means every local address.
  virtual void ListenOn(const std::string& address, int port) = 0;
  // TCP: takes over a held connection request.
  virtual void Accept(int32_t requestId) = 0;
  // Takes over other's connection, with its bytes arrived and not yet read,
  // its state and its peer; other is left closed. other must come from the
  // same platform. Lets a connection accepted on one socket be served by
  // another without any byte or event lost.
  virtual void TakeOver(Socket& other) = 0;
  // UDP: receives datagrams from anyone on port.
  virtual void Bind(int port) = 0;
  // UDP: receives datagrams from host:port only, on an ephemeral local port.
  virtual void OpenUdp(const std::string& host, int port) = 0;
  // UDP: as OpenUdp, but a host name is looked up off the event thread: the
  // socket is kResolvingHost until it is open (OnConnected) or the lookup
  // failed (OnError). An address given as digits opens within the call,
  // raising no event.
  virtual void OpenUdpAsync(const std::string& host, int port) = 0;

  // Moves all data arrived and not yet read into out (replacing its content).
  virtual void Read(std::string& out) = 0;
  // Queues the bytes of a connected socket and returns at once; the parts go
  // out in order, as one stream, and OnSendProgress/OnSendComplete report the
  // queue draining. A socket opened by OpenUdp sends each part as one
  // datagram at once, without events; a datagram that cannot go is lost.
  virtual void Send(std::span<const Payload> parts) = 0;
  void Send(const Payload& part) { Send(std::span<const Payload>(&part, 1)); }
  // TCP: like Send, but when nothing is on its way yet the bytes go to the
  // kernel within this call instead of at the end of the event loop's turn,
  // for a peer that waits on each byte (a printer behind the relay). Send
  // joins what one turn sends into one write; this saves the turn's wait.
  // The events still come from the loop, never from within this call.
  virtual void SendAtOnce(const Payload& part) = 0;
  // TCP: bytes handed to Send that the peer has not acknowledged yet: still
  // queued here or in the kernel's send queue (Linux). Where the kernel does
  // not tell, only the bytes it has not taken yet. 0 when not connected.
  virtual int64_t UnacknowledgedBytes() const = 0;
  // TCP: stops taking bytes from the kernel (a read under way may still bring
  // one more batch), so that a peer sending faster than the owner can pass
  // the bytes on is held back by its own TCP window. Resuming reads again.
  // On a listener: stops taking connections (one accept under way may still
  // bring one more); the next ones wait in the kernel's backlog. Both do
  // nothing on a socket that is not open; a new connection reads.
  virtual void PauseReading() = 0;
  virtual void ResumeReading() = 0;
  // TCP: half-closes the connection once every byte queued so far has left:
  // the peer reads the end of the stream, and what it sends still arrives.
  virtual void ShutdownSend() = 0;
  virtual void Close() = 0;
};

}  // namespace tavrik
