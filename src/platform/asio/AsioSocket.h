#pragma once
// Socket on Asio: TCP client, TCP listener, accepted TCP connection, UDP bound
// or addressed. Runs on the event thread only. Each open connection lives in a
// Channel shared with its pending completion handlers, so that buffers outlive
// the operations using them and a completion that arrives after Close (or
// after the socket moved on to another connection) finds the Channel detached
// and does nothing.
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/Socket.h"
#include "platform/asio/ConnectionRequests.h"

namespace tavrik {

class AsioSocket final : public Socket {
 public:
  AsioSocket(asio::io_context& context, ConnectionRequests& requests);
  ~AsioSocket() override;
  AsioSocket(const AsioSocket&) = delete;
  AsioSocket& operator=(const AsioSocket&) = delete;

  void SetEvents(SocketEvents* events) override { events_ = events; }
  SocketState State() const override { return state_; }
  const std::string& RemoteHost() const override { return remoteHost_; }

  void Connect(const std::string& host, int port) override;
  void Listen(int port) override;
  void ListenOn(const std::string& address, int port) override;
  void Accept(int32_t requestId) override;
  void TakeOver(Socket& other) override;
  void Bind(int port) override;
  void OpenUdp(const std::string& host, int port) override;
  void OpenUdpAsync(const std::string& host, int port) override;
  void Read(std::string& out) override;
  void Send(std::span<const Payload> parts) override;
  using Socket::Send;
  void SendAtOnce(const Payload& part) override;
  int64_t UnacknowledgedBytes() const override;
  void PauseReading() override;
  void ResumeReading() override;
  void ShutdownSend() override;
  void Close() override;

  // The local port the open socket is bound to (an ephemeral one when it was
  // asked for port 0), or 0 when closed.
  int LocalPort() const;
  // Bytes arrived and not yet taken by Read.
  size_t UnreadBytes() const { return arrived_.size(); }

 private:
  struct Channel;
  using ChannelPtr = std::shared_ptr<Channel>;

  ChannelPtr OpenChannel();
  void Release();
  void RequireClosed() const;
  asio::ip::udp::endpoint ResolveUdp(const std::string& host, uint16_t port);
  asio::error_code OpenedUdp(const ChannelPtr& channel, const asio::ip::udp::endpoint& peer);
  void Connected(const ChannelPtr& channel);
  void StartAccept(const ChannelPtr& channel);
  void Accepted(const ChannelPtr& channel, asio::ip::tcp::socket peer);
  void StartRead(const ChannelPtr& channel);
  void DataRead(const ChannelPtr& channel, std::size_t bytes);
  void ReadFailed(const asio::error_code& error);
  void SendDatagrams(std::span<const Payload> parts);
  // When reports are deferred, OnSendComplete comes from the loop.
  enum class Report { kNow, kDeferred };
  void Flush(const ChannelPtr& channel, Report report = Report::kNow);
  void Queue(Channel& channel, std::span<const Payload> parts);
  // sentDirectly: bytes of the same parts that Flush already sent.
  void StartWrite(const ChannelPtr& channel, std::size_t sentDirectly = 0);
  void Written(const ChannelPtr& channel, std::size_t bytes);
  // Everything queued has left: half-closes if asked, raises OnSendComplete.
  void SendFinished(const ChannelPtr& channel);
  // Ends the connection in the error state and raises OnError.
  void Fail(const asio::error_code& error);
  void Fail(int number, const std::string& description);
  // Runs a completion's step on the channel's socket, unless the channel was
  // detached since the operation began.
  template <typename Step>
  static void Deliver(const ChannelPtr& channel, Step step);
  // Raises an event; nothing the receiver throws gets past.
  template <typename Event>
  void Raise(Event event);

  asio::io_context& context_;
  ConnectionRequests& requests_;
  SocketEvents* events_ = nullptr;
  std::string remoteHost_;
  SocketState state_ = SocketState::kClosed;
  ChannelPtr channel_;    // null while closed or failed
  std::string arrived_;  // received and not yet taken by Read
};

}  // namespace tavrik
