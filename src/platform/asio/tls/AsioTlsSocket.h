#pragma once
// An accepted TCP connection that speaks TLS (see TlsServer), on Asio's SSL
// stream. Event thread only. As in AsioSocket, the connection lives in a
// Channel shared with its pending completion handlers, which find it
// detached after Close and do nothing. Only Accept opens it; the other
// opening operations throw.
#include <asio/io_context.hpp>
#include <asio/ssl/context.hpp>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/Socket.h"
#include "platform/asio/ConnectionRequests.h"

namespace tavrik {

class AsioTlsSocket final : public Socket {
 public:
  AsioTlsSocket(asio::io_context& context, ConnectionRequests& requests, asio::ssl::context& tls);
  ~AsioTlsSocket() override;
  AsioTlsSocket(const AsioTlsSocket&) = delete;
  AsioTlsSocket& operator=(const AsioTlsSocket&) = delete;

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
  void SendAtOnce(const Payload& part) override { Send(part); }
  int64_t UnacknowledgedBytes() const override;
  void PauseReading() override;
  void ResumeReading() override;
  void ShutdownSend() override;
  void Close() override;

 private:
  struct Channel;
  using ChannelPtr = std::shared_ptr<Channel>;

  void HandshakeDone(const ChannelPtr& channel);
  void StartRead(const ChannelPtr& channel);
  void DataRead(const ChannelPtr& channel, std::size_t bytes);
  void ReadFailed(const asio::error_code& error);
  void StartWrite(const ChannelPtr& channel);
  void Written(const ChannelPtr& channel, std::size_t bytes);
  void Release();
  void Fail(int number, const std::string& description);
  template <typename Step>
  static void Deliver(const ChannelPtr& channel, Step step);
  template <typename Event>
  void Raise(Event event);

  asio::io_context& context_;
  ConnectionRequests& requests_;
  asio::ssl::context& tls_;
  SocketEvents* events_ = nullptr;
  std::string remoteHost_;
  SocketState state_ = SocketState::kClosed;
  ChannelPtr channel_;
  std::string arrived_;  // decrypted and not yet taken by Read
};

}  // namespace tavrik
