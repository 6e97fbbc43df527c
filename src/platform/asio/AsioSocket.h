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

  int Protocol() const override { return protocol_; }
  void SetProtocol(int protocol) override;
  const std::string& RemoteHost() const override { return remoteHost_; }
  void SetRemoteHost(const std::string& host) override;
  int RemotePort() const override { return remotePort_; }
  void SetRemotePort(int port) override;
  int LocalPort() const override { return localPort_; }
  void SetLocalPort(int port) override { localPort_ = port; }
  int16_t State() const override { return state_; }

  void Connect(const std::string& host, int port) override;
  void Listen() override;
  void Accept(int32_t requestId) override;
  void Bind(int port) override;
  void GetData(std::string& out) override;
  void SendData(std::span<const Payload> parts) override;
  using Socket::SendData;
  void Close() override;

  // The local port the open socket is bound to (an ephemeral one when it was
  // asked for port 0), or 0 when closed.
  int BoundLocalPort() const;

 private:
  struct Channel;
  using ChannelPtr = std::shared_ptr<Channel>;

  ChannelPtr OpenChannel();
  void Release();
  void RequireClosed() const;
  void OpenAddressedUdp();
  asio::ip::udp::endpoint ResolveUdp(const std::string& host, uint16_t port);
  void Connected(const ChannelPtr& channel);
  void StartAccept(const ChannelPtr& channel);
  void Accepted(const ChannelPtr& channel, asio::ip::tcp::socket peer);
  void StartRead(const ChannelPtr& channel);
  void DataRead(const ChannelPtr& channel, std::size_t bytes);
  void ReadFailed(const asio::error_code& error);
  void Flush(const ChannelPtr& channel);
  // sentDirectly: bytes of the same parts that Flush already sent.
  void StartWrite(const ChannelPtr& channel, std::size_t sentDirectly = 0);
  void Written(const ChannelPtr& channel, std::size_t bytes);
  // Ends the connection in State 9 and raises Error.
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
  int protocol_ = kTcp;
  std::string remoteHost_;
  int remotePort_ = 0;
  int localPort_ = 0;
  int16_t state_ = kStateClosed;
  ChannelPtr channel_;    // null while closed or failed
  std::string arrived_;  // received and not yet taken by GetData
};

}  // namespace tavrik
