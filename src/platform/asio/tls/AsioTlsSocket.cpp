#include "platform/asio/tls/AsioTlsSocket.h"

#include <asio/buffer.hpp>
#include <asio/post.hpp>
#include <asio/ssl/error.hpp>
#include <asio/ssl/stream.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <exception>
#include <utility>
#include <vector>

#include "platform/ErrorNumbers.h"
#include "platform/TlsServer.h"

namespace tavrik {
namespace {

using asio::ip::tcp;

constexpr std::size_t kReadChunk = 16 * 1024;  // one TLS record at most
constexpr std::size_t kMaxUnread = 1024 * 1024;

}  // namespace

struct AsioTlsSocket::Channel {
  Channel(AsioTlsSocket* socket, asio::io_context& context, asio::ssl::context& tls, tcp::socket connection)
      : owner(socket), stream(std::move(connection), tls), deadline(context) {}

  AsioTlsSocket* owner;  // null once detached
  asio::ssl::stream<tcp::socket> stream;
  asio::steady_timer deadline;  // of the handshake
  bool secured = false;         // the handshake is done
  bool reading = false;
  bool readPaused = false;
  bool shutdownPending = false;
  bool flushPosted = false;
  std::unique_ptr<char[]> readBuffer;
  std::vector<Payload> queued;  // waits for the handshake or the write in flight
  std::size_t queuedBytes = 0;
  std::vector<Payload> writing;
  std::vector<asio::const_buffer> gather;
};

template <typename Step>
void AsioTlsSocket::Deliver(const ChannelPtr& channel, Step step) {
  AsioTlsSocket* self = channel->owner;
  if (self == nullptr) return;
  try {
    step(*self);
  } catch (const std::exception& e) {
    if (channel->owner != self) return;
    const FailureInfo failure = DescribeFailure(e);
    self->Fail(failure.number, failure.description);
  }
}

template <typename Event>
void AsioTlsSocket::Raise(Event event) {
  if (events_ == nullptr) return;
  try {
    event(*events_);
  } catch (...) {
    // Nothing may unwind through Asio and stop the event loop.
  }
}

AsioTlsSocket::AsioTlsSocket(asio::io_context& context, ConnectionRequests& requests, asio::ssl::context& tls)
    : context_(context), requests_(requests), tls_(tls) {}

AsioTlsSocket::~AsioTlsSocket() { Release(); }

void AsioTlsSocket::Connect(const std::string&, int) { throw errors::InvalidSocketOperation(); }
void AsioTlsSocket::Listen(int) { throw errors::InvalidSocketOperation(); }
void AsioTlsSocket::ListenOn(const std::string&, int) { throw errors::InvalidSocketOperation(); }
void AsioTlsSocket::TakeOver(Socket&) { throw errors::InvalidSocketOperation(); }
void AsioTlsSocket::Bind(int) { throw errors::InvalidSocketOperation(); }
void AsioTlsSocket::OpenUdp(const std::string&, int) { throw errors::InvalidSocketOperation(); }
void AsioTlsSocket::OpenUdpAsync(const std::string&, int) { throw errors::InvalidSocketOperation(); }

void AsioTlsSocket::Accept(int32_t requestId) {
  if (state_ != SocketState::kClosed) throw errors::InvalidSocketOperation();
  std::optional<tcp::socket> connection = requests_.Take(requestId);
  if (!connection) throw errors::InvalidSocketOperation();
  asio::error_code error;
  connection->set_option(tcp::no_delay(true), error);
  const tcp::endpoint endpoint = connection->remote_endpoint(error);
  if (!error) remoteHost_ = endpoint.address().to_string();
  const ChannelPtr channel = std::make_shared<Channel>(this, context_, tls_, std::move(*connection));
  channel_ = channel;
  state_ = SocketState::kConnected;
  // A peer that never finishes its handshake cannot keep the connection.
  channel->deadline.expires_after(std::chrono::milliseconds(TlsServer::kHandshakeMs));
  channel->deadline.async_wait([channel](const asio::error_code& result) {
    if (result) return;  // cancelled: the handshake ended first
    Deliver(channel, [](AsioTlsSocket& self) {
      self.Fail(asio::error::make_error_code(asio::error::timed_out).value(), "TLS handshake timed out");
    });
  });
  channel->stream.async_handshake(asio::ssl::stream_base::server, [channel](const asio::error_code& result) {
    channel->deadline.cancel();
    Deliver(channel, [&](AsioTlsSocket& self) {
      if (result) return self.Fail(result.value(), result.message());
      self.HandshakeDone(channel);
    });
  });
}

void AsioTlsSocket::HandshakeDone(const ChannelPtr& channel) {
  channel->secured = true;
  StartRead(channel);
  if (!channel->queued.empty()) return StartWrite(channel);
  if (channel->shutdownPending) ShutdownSend();
}

void AsioTlsSocket::StartRead(const ChannelPtr& channel) {
  if (!channel->secured || channel->reading || channel->readPaused || arrived_.size() >= kMaxUnread) return;
  channel->reading = true;
  if (!channel->readBuffer) channel->readBuffer.reset(new char[kReadChunk]);
  channel->stream.async_read_some(asio::buffer(channel->readBuffer.get(), kReadChunk),
                                  [channel](const asio::error_code& error, std::size_t bytes) {
                                    channel->reading = false;
                                    Deliver(channel, [&](AsioTlsSocket& self) {
                                      if (error) return self.ReadFailed(error);
                                      self.DataRead(channel, bytes);
                                    });
                                  });
}

void AsioTlsSocket::DataRead(const ChannelPtr& channel, std::size_t bytes) {
  arrived_.append(channel->readBuffer.get(), bytes);
  if (bytes != 0) {
    Raise([](SocketEvents& events) { events.OnData(); });
    if (channel->owner != this) return;
  }
  StartRead(channel);
}

void AsioTlsSocket::ReadFailed(const asio::error_code& error) {
  // A peer that ends without close_notify has still ended its side.
  if (error != asio::error::eof && error != asio::ssl::error::stream_truncated) {
    return Fail(error.value(), error.message());
  }
  state_ = SocketState::kClosing;
  Raise([](SocketEvents& events) { events.OnClosed(); });
}

void AsioTlsSocket::Read(std::string& out) {
  out.clear();
  out.swap(arrived_);
  if (state_ == SocketState::kConnected && channel_) StartRead(channel_);
}

void AsioTlsSocket::Send(std::span<const Payload> parts) {
  if ((state_ != SocketState::kConnected && state_ != SocketState::kClosing) || !channel_) {
    throw errors::WrongSocketState();
  }
  Channel& channel = *channel_;
  for (const Payload& part : parts) {
    if (part.empty()) continue;
    if (channel.queued.empty() || !channel.queued.back().TryJoin(part)) channel.queued.push_back(part);
    channel.queuedBytes += part.size();
  }
  if (!channel.secured || !channel.writing.empty() || channel.flushPosted || channel.queued.empty()) return;
  // What one turn of the loop sends goes out in one write.
  channel.flushPosted = true;
  asio::post(context_, [channel = channel_] {
    channel->flushPosted = false;
    Deliver(channel, [&](AsioTlsSocket& self) {
      if (channel->writing.empty() && !channel->queued.empty()) self.StartWrite(channel);
    });
  });
}

void AsioTlsSocket::StartWrite(const ChannelPtr& channel) {
  channel->writing.swap(channel->queued);
  channel->queuedBytes = 0;
  channel->gather.clear();
  for (const Payload& part : channel->writing) channel->gather.push_back(asio::buffer(part.data(), part.size()));
  asio::async_write(channel->stream, std::span<const asio::const_buffer>(channel->gather),
                    [channel](const asio::error_code& error, std::size_t bytes) {
                      channel->writing.clear();
                      Deliver(channel, [&](AsioTlsSocket& self) {
                        if (error) return self.Fail(error.value(), error.message());
                        self.Written(channel, bytes);
                      });
                    });
}

void AsioTlsSocket::Written(const ChannelPtr& channel, std::size_t bytes) {
  if (!channel->queued.empty()) {
    const auto sent = static_cast<int32_t>(std::min<std::size_t>(bytes, INT32_MAX));
    const auto remaining = static_cast<int32_t>(std::min<std::size_t>(channel->queuedBytes, INT32_MAX));
    StartWrite(channel);
    Raise([sent, remaining](SocketEvents& events) { events.OnSendProgress(sent, remaining); });
    return;
  }
  if (channel->shutdownPending) {
    channel->shutdownPending = false;
    asio::error_code ignored;
    channel->stream.lowest_layer().shutdown(tcp::socket::shutdown_send, ignored);
  }
  Raise([](SocketEvents& events) { events.OnSendComplete(); });
}

int64_t AsioTlsSocket::UnacknowledgedBytes() const {
  if (!channel_) return 0;
  auto bytes = static_cast<int64_t>(channel_->queuedBytes);
  for (const Payload& part : channel_->writing) bytes += static_cast<int64_t>(part.size());
  return bytes;
}

void AsioTlsSocket::PauseReading() {
  if (channel_) channel_->readPaused = true;
}

void AsioTlsSocket::ResumeReading() {
  if (!channel_ || !channel_->readPaused) return;
  channel_->readPaused = false;
  if (state_ == SocketState::kConnected) StartRead(channel_);
}

// The TCP side half-closes without a TLS close_notify: the answers carry
// their length or end with the connection, so the peer loses nothing.
void AsioTlsSocket::ShutdownSend() {
  if (!channel_) return;
  if (!channel_->secured || !channel_->writing.empty() || !channel_->queued.empty()) {
    channel_->shutdownPending = true;
    return;
  }
  channel_->shutdownPending = false;
  asio::error_code ignored;
  channel_->stream.lowest_layer().shutdown(tcp::socket::shutdown_send, ignored);
}

void AsioTlsSocket::Close() {
  Release();
  std::string().swap(arrived_);
  state_ = SocketState::kClosed;
}

void AsioTlsSocket::Release() {
  if (!channel_) return;
  const ChannelPtr channel = std::move(channel_);
  channel->owner = nullptr;
  channel->queued.clear();
  channel->queuedBytes = 0;
  channel->deadline.cancel();
  asio::error_code ignored;
  channel->stream.lowest_layer().close(ignored);
}

void AsioTlsSocket::Fail(int number, const std::string& description) {
  Release();
  state_ = SocketState::kError;
  Raise([&](SocketEvents& events) { events.OnError(number, description); });
}

}  // namespace tavrik
