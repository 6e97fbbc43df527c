#include "platform/asio/AsioSocket.h"

#include <algorithm>
#include <asio/buffer.hpp>
#include <asio/connect.hpp>
#include <asio/ip/address.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>
#include <exception>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/ErrorNumbers.h"

#ifdef __linux__
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

namespace tavrik {

namespace {

using asio::ip::tcp;
using asio::ip::udp;

constexpr std::size_t kReadChunk = 64 * 1024;
// Reading pauses while this much has arrived unread, until Read drains it.
constexpr std::size_t kMaxUnread = 1024 * 1024;

PlatformError ToPlatformError(const asio::error_code& error) {
  return PlatformError(error.value(), error.message());
}

int32_t ToInt32(std::size_t n) {
  return static_cast<int32_t>(std::min<std::size_t>(n, INT32_MAX));
}

uint16_t ToPort(int port, bool zeroAllowed) {
  if (port < (zeroAllowed ? 0 : 1) || port > 65535) {
    throw ToPlatformError(asio::error::make_error_code(asio::error::invalid_argument));
  }
  return static_cast<uint16_t>(port);
}

// Peers mostly send over IPv4, and a name may come with an IPv6 address first.
template <typename Results>
typename Results::value_type PreferV4(const Results& endpoints) {
  const auto v4 = std::find_if(endpoints.begin(), endpoints.end(),
                               [](const auto& entry) { return entry.endpoint().address().is_v4(); });
  return v4 != endpoints.end() ? *v4 : *endpoints.begin();
}

void Gather(const std::vector<Payload>& parts, std::vector<asio::const_buffer>& buffers) {
  buffers.clear();
  for (const Payload& part : parts) buffers.push_back(asio::buffer(part.data(), part.size()));
}

}  // namespace

struct AsioSocket::Channel {
  Channel(AsioSocket* socket, asio::io_context& context)
      : owner(socket), tcp(context), acceptor(context), udp(context), resolver(context) {}

  AsioSocket* owner;  // null once detached: its completions then do nothing
  asio::ip::tcp::socket tcp;
  asio::ip::tcp::acceptor acceptor;
  asio::ip::udp::socket udp;
  asio::ip::tcp::resolver resolver;
  bool reading = false;
  bool accepting = false;
  bool readPaused = false;  // a listener: no more connections are taken
  bool shutdownPending = false;  // ShutdownSend waits for the queue to drain
  // Left uninitialised: a client that sends a short request touches one page
  // of it, not 64 KiB.
  std::unique_ptr<char[]> readBuffer;
  // The write-queue idiom: parts sent while a write is in flight wait in
  // queued and go out together in one gathered write after it. The first
  // write waits until the handler that sent the parts has returned, so that
  // all frames cut from one read leave in one gathered write.
  bool flushPosted = false;
  bool completionPosted = false;  // of a SendAtOnce that the kernel took whole
  std::vector<Payload> queued;
  std::size_t queuedBytes = 0;
  std::vector<Payload> writing;  // the parts of the write in flight
  std::vector<asio::const_buffer> gather;
};

template <typename Step>
void AsioSocket::Deliver(const ChannelPtr& channel, Step step) {
  AsioSocket* self = channel->owner;
  if (self == nullptr) return;  // closed, failed or destroyed since the operation began
  try {
    step(*self);
  } catch (const std::exception& e) {
    // Our own step failed (out of memory): this connection cannot go on.
    if (channel->owner != self) return;
    const FailureInfo failure = DescribeFailure(e);
    self->Fail(failure.number, failure.description);
  }
}

template <typename Event>
void AsioSocket::Raise(Event event) {
  if (events_ == nullptr) return;
  try {
    event(*events_);
  } catch (...) {
    // The receivers catch their own failures; one that escapes anyway must not
    // unwind through Asio and stop the event loop.
  }
}

AsioSocket::AsioSocket(asio::io_context& context, ConnectionRequests& requests)
    : context_(context), requests_(requests) {}

AsioSocket::~AsioSocket() { Release(); }

int AsioSocket::LocalPort() const {
  if (!channel_) return 0;
  asio::error_code error;
  if (channel_->acceptor.is_open()) return channel_->acceptor.local_endpoint(error).port();
  if (channel_->udp.is_open()) return channel_->udp.local_endpoint(error).port();
  return channel_->tcp.local_endpoint(error).port();
}

void AsioSocket::Connect(const std::string& host, int port) {
  RequireClosed();
  const uint16_t portNumber = ToPort(port, false);
  remoteHost_ = host;
  ChannelPtr channel = OpenChannel();
  asio::error_code error;
  const asio::ip::address address = asio::ip::make_address(host, error);
  if (!error) {
    state_ = SocketState::kConnecting;
    channel->tcp.async_connect(tcp::endpoint(address, portNumber),
                               [channel](const asio::error_code& result) {
                                 Deliver(channel, [&](AsioSocket& self) {
                                   if (result) return self.Fail(result);
                                   self.Connected(channel);
                                 });
                               });
    return;
  }
  state_ = SocketState::kResolvingHost;
  channel->resolver.async_resolve(
      host, std::to_string(port),
      [channel](const asio::error_code& result, const tcp::resolver::results_type& endpoints) {
        Deliver(channel, [&](AsioSocket& self) {
          if (result) return self.Fail(result);
          self.state_ = SocketState::kConnecting;
          asio::async_connect(channel->tcp, endpoints,
                              [channel](const asio::error_code& outcome, const tcp::endpoint&) {
                                Deliver(channel, [&](AsioSocket& owner) {
                                  if (outcome) return owner.Fail(outcome);
                                  owner.Connected(channel);
                                });
                              });
        });
      });
}

void AsioSocket::Connected(const ChannelPtr& channel) {
  asio::error_code ignored;  // without NODELAY small parts only wait longer
  channel->tcp.set_option(tcp::no_delay(true), ignored);
  channel->tcp.non_blocking(true, ignored);  // Flush's direct send must never wait
  state_ = SocketState::kConnected;
  StartRead(channel);
  Raise([](SocketEvents& events) { events.OnConnected(); });
}

void AsioSocket::Listen(int localPort) { ListenOn({}, localPort); }

void AsioSocket::ListenOn(const std::string& address, int localPort) {
  RequireClosed();
  const uint16_t port = ToPort(localPort, true);
  asio::error_code error;
  asio::ip::address local = asio::ip::address_v4::any();
  if (address == "localhost") {
    local = asio::ip::address_v4::loopback();
  } else if (!address.empty()) {
    local = asio::ip::make_address(address, error);
    if (error) throw ToPlatformError(error);
  }
  const tcp::endpoint endpoint(local, port);
  ChannelPtr channel = OpenChannel();
  tcp::acceptor& acceptor = channel->acceptor;
  acceptor.open(endpoint.protocol(), error);
#ifndef _WIN32
  // Lets a restarted relay listen at once while connections accepted earlier
  // are still open or linger in TIME_WAIT; a port that another socket listens
  // on still fails. On Windows the option would let a listener take over a
  // port in use, so it stays off there, as libuv leaves it.
  if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
#endif
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    Release();
    throw ToPlatformError(error);
  }
  state_ = SocketState::kListening;
  StartAccept(channel);
}

void AsioSocket::StartAccept(const ChannelPtr& channel) {
  if (channel->accepting || channel->readPaused) return;
  channel->accepting = true;
  channel->acceptor.async_accept([channel](const asio::error_code& error, tcp::socket peer) {
    channel->accepting = false;
    Deliver(channel, [&](AsioSocket& self) {
      // A peer that gave up while waiting in the backlog is no failure of the listener.
      if (error == asio::error::connection_aborted) return self.StartAccept(channel);
      if (error) return self.Fail(error);
      self.Accepted(channel, std::move(peer));
    });
  });
}

void AsioSocket::Accepted(const ChannelPtr& channel, tcp::socket peer) {
  asio::error_code error;
  const tcp::endpoint endpoint = peer.remote_endpoint(error);
  if (error) return StartAccept(channel);  // the peer is gone already
  remoteHost_ = endpoint.address().to_string();
  ConnectionRequests& requests = requests_;  // the handler may destroy this socket
  const int32_t id = requests.Hold(std::move(peer));
  Raise([id](SocketEvents& events) { events.OnConnectionRequest(id); });
  requests.Drop(id);
  // The handler may have closed this listener, and may even have accepted the
  // request on it: then the channel is detached and accepting ends here.
  if (channel->owner == this) StartAccept(channel);
}

void AsioSocket::Accept(int32_t requestId) {
  RequireClosed();
  std::optional<tcp::socket> connection = requests_.Take(requestId);
  if (!connection) throw ToPlatformError(asio::error::make_error_code(asio::error::invalid_argument));
  ChannelPtr channel = OpenChannel();
  channel->tcp = std::move(*connection);
  asio::error_code error;
  channel->tcp.set_option(tcp::no_delay(true), error);
  channel->tcp.non_blocking(true, error);  // Flush's direct send must never wait
  const tcp::endpoint endpoint = channel->tcp.remote_endpoint(error);
  if (!error) remoteHost_ = endpoint.address().to_string();
  state_ = SocketState::kConnected;
  StartRead(channel);
}

void AsioSocket::TakeOver(Socket& other) {
  RequireClosed();
  auto& from = static_cast<AsioSocket&>(other);
  channel_ = std::move(from.channel_);  // null when the connection failed: only its state comes
  if (channel_) channel_->owner = this;  // its completions now come here
  arrived_.swap(from.arrived_);
  remoteHost_ = from.remoteHost_;
  state_ = std::exchange(from.state_, SocketState::kClosed);
}

void AsioSocket::Bind(int port) {
  RequireClosed();
  const uint16_t portNumber = ToPort(port, true);
  ChannelPtr channel = OpenChannel();
  asio::error_code error;
  channel->udp.open(udp::v4(), error);
  if (!error) channel->udp.bind(udp::endpoint(asio::ip::address_v4::any(), portNumber), error);
  if (error) {
    Release();
    throw ToPlatformError(error);
  }
  state_ = SocketState::kOpen;
  StartRead(channel);
}

void AsioSocket::OpenUdp(const std::string& host, int port) {
  RequireClosed();
  const udp::endpoint peer = ResolveUdp(host, ToPort(port, false));
  remoteHost_ = host;
  const asio::error_code error = OpenedUdp(OpenChannel(), peer);
  if (error) throw ToPlatformError(error);
}

void AsioSocket::OpenUdpAsync(const std::string& host, int port) {
  RequireClosed();
  const uint16_t portNumber = ToPort(port, false);
  asio::error_code error;
  asio::ip::make_address(host, error);
  if (!error) return OpenUdp(host, port);
  remoteHost_ = host;
  ChannelPtr channel = OpenChannel();
  state_ = SocketState::kResolvingHost;
  // Asio's resolver runs getaddrinfo on a thread of its own.
  channel->resolver.async_resolve(
      host, std::to_string(portNumber),
      [channel, portNumber](const asio::error_code& result, const tcp::resolver::results_type& endpoints) {
        Deliver(channel, [&](AsioSocket& self) {
          if (result) return self.Fail(result);
          const udp::endpoint peer(PreferV4(endpoints).endpoint().address(), portNumber);
          if (const asio::error_code failed = self.OpenedUdp(channel, peer)) return self.Fail(failed);
          self.Raise([](SocketEvents& events) { events.OnConnected(); });
        });
      });
}

// On failure the channel is released and the socket left for the caller to report.
asio::error_code AsioSocket::OpenedUdp(const ChannelPtr& channel, const udp::endpoint& peer) {
  asio::error_code error;
  channel->udp.connect(peer, error);  // opens it on an ephemeral local port first
  if (error) {
    Release();
    return error;
  }
  state_ = SocketState::kOpen;
  StartRead(channel);
  return error;
}

asio::ip::udp::endpoint AsioSocket::ResolveUdp(const std::string& host, uint16_t port) {
  asio::error_code error;
  const asio::ip::address address = asio::ip::make_address(host, error);
  if (!error) return udp::endpoint(address, port);
  udp::resolver resolver(context_);
  const udp::resolver::results_type endpoints = resolver.resolve(host, std::to_string(port), error);
  if (error) throw ToPlatformError(error);
  return PreferV4(endpoints).endpoint();
}

void AsioSocket::StartRead(const ChannelPtr& channel) {
  if (channel->reading || channel->readPaused || arrived_.size() >= kMaxUnread) return;
  channel->reading = true;
  if (!channel->readBuffer) channel->readBuffer.reset(new char[kReadChunk]);
  auto done = [channel](const asio::error_code& error, std::size_t bytes) {
    channel->reading = false;
    Deliver(channel, [&](AsioSocket& self) {
      if (error) return self.ReadFailed(error);
      self.DataRead(channel, bytes);
    });
  };
  if (channel->udp.is_open()) {
    channel->udp.async_receive(asio::buffer(channel->readBuffer.get(), kReadChunk), std::move(done));
  } else {
    channel->tcp.async_read_some(asio::buffer(channel->readBuffer.get(), kReadChunk), std::move(done));
  }
}

void AsioSocket::DataRead(const ChannelPtr& channel, std::size_t bytes) {
  arrived_.append(channel->readBuffer.get(), bytes);
  if (bytes != 0) {  // an empty datagram brings nothing to read
    // The owner passes the bytes on before the next read is tried: a read
    // started first would mostly find nothing, at the cost of a system call
    // ahead of the owner's sends.
    Raise([](SocketEvents& events) { events.OnData(); });
    if (channel->owner != this) return;  // closed or gone in the handler
  }
  StartRead(channel);
}

void AsioSocket::ReadFailed(const asio::error_code& error) {
  if (error != asio::error::eof) return Fail(error);
  // Only the peer's sending side ended: what is queued for it, and what is
  // sent until Close, still goes out (a half-closed peer still reads).
  state_ = SocketState::kClosing;
  Raise([](SocketEvents& events) { events.OnClosed(); });
}

void AsioSocket::Read(std::string& out) {
  out.clear();
  out.swap(arrived_);  // no copy; arrived_ goes on in out's old storage
  if (state_ == SocketState::kConnected || state_ == SocketState::kOpen) StartRead(channel_);
}

void AsioSocket::Send(std::span<const Payload> parts) {
  if (state_ == SocketState::kOpen && channel_ && channel_->udp.is_open()) return SendDatagrams(parts);
  if ((state_ != SocketState::kConnected && state_ != SocketState::kClosing) || !channel_)
    throw errors::WrongSocketState();
  Channel& channel = *channel_;
  const bool writeInFlight = !channel.writing.empty();
  Queue(channel, parts);
  if (writeInFlight || channel.flushPosted || channel.queued.empty()) return;
  channel.flushPosted = true;
  asio::post(context_, [channel = channel_] {
    channel->flushPosted = false;
    Deliver(channel, [&](AsioSocket& self) { self.Flush(channel); });
  });
}

void AsioSocket::SendAtOnce(const Payload& part) {
  if ((state_ != SocketState::kConnected && state_ != SocketState::kClosing) || !channel_ ||
      !channel_->tcp.is_open())
    throw errors::WrongSocketState();
  Queue(*channel_, std::span<const Payload>(&part, 1));
  // A posted flush or a write under way takes these bytes in their turn.
  if (channel_->flushPosted) return;
  Flush(channel_, Report::kDeferred);
}

int64_t AsioSocket::UnacknowledgedBytes() const {
  if (!channel_ || !channel_->tcp.is_open()) return 0;
  // A write in flight counts whole: what of it the kernel took already is
  // counted twice, which only delays the count, never hastens it.
  auto bytes = static_cast<int64_t>(channel_->queuedBytes);
  for (const Payload& part : channel_->writing) bytes += static_cast<int64_t>(part.size());
#ifdef __linux__
  int inKernel = 0;  // sent or not, and not acknowledged
  if (::ioctl(channel_->tcp.native_handle(), SIOCOUTQ, &inKernel) != 0) return std::numeric_limits<int64_t>::max();
  bytes += inKernel;
#endif
  return bytes;
}

void AsioSocket::Queue(Channel& channel, std::span<const Payload> parts) {
  for (const Payload& part : parts) {
    if (part.empty()) continue;
    // Parts that lie side by side in memory go to the kernel as one piece.
    if (channel.queued.empty() || !channel.queued.back().TryJoin(part)) channel.queued.push_back(part);
    channel.queuedBytes += part.size();
  }
}

void AsioSocket::SendDatagrams(std::span<const Payload> parts) {
  asio::error_code ignored;
  // Never wait for the kernel: a datagram it has no room for is lost anyway.
  channel_->udp.non_blocking(true, ignored);
  for (const Payload& part : parts) channel_->udp.send(asio::buffer(part.data(), part.size()), 0, ignored);
}

void AsioSocket::Flush(const ChannelPtr& channel, Report report) {
  if (!channel->writing.empty() || channel->queued.empty()) return;
  // Mostly the kernel takes it all at once: sent right here, it needs no
  // asynchronous write. Whatever is left goes by one.
  Gather(channel->queued, channel->gather);
  asio::error_code error;
  std::size_t sent = channel->tcp.write_some(std::span<const asio::const_buffer>(channel->gather), error);
  if (error && error != asio::error::would_block) return StartWrite(channel);  // it reports the error
  if (sent == channel->queuedBytes) {
    channel->queued.clear();
    channel->queuedBytes = 0;
    if (report == Report::kNow) return SendFinished(channel);
    if (channel->completionPosted) return;
    channel->completionPosted = true;
    asio::post(context_, [channel] {
      channel->completionPosted = false;
      // Only if nothing is on its way since: otherwise its own report follows.
      if (!channel->writing.empty() || !channel->queued.empty()) return;
      Deliver(channel, [&](AsioSocket& self) { self.SendFinished(channel); });
    });
    return;
  }
  channel->queuedBytes -= sent;
  const std::size_t sentDirectly = sent;
  auto part = channel->queued.begin();
  for (; sent >= part->size(); ++part) sent -= part->size();
  part->RemovePrefix(sent);
  channel->queued.erase(channel->queued.begin(), part);
  StartWrite(channel, sentDirectly);
}

void AsioSocket::StartWrite(const ChannelPtr& channel, std::size_t sentDirectly) {
  channel->writing.swap(channel->queued);
  channel->queuedBytes = 0;
  Gather(channel->writing, channel->gather);
  // A span keeps Asio from copying the buffer list into the operation.
  asio::async_write(channel->tcp, std::span<const asio::const_buffer>(channel->gather),
                    [channel, sentDirectly](const asio::error_code& error, std::size_t bytes) {
                      channel->writing.clear();
                      Deliver(channel, [&](AsioSocket& self) {
                        if (error) return self.Fail(error);
                        self.Written(channel, sentDirectly + bytes);
                      });
                    });
}

void AsioSocket::Written(const ChannelPtr& channel, std::size_t bytes) {
  if (channel->queued.empty()) {
    SendFinished(channel);
    return;
  }
  const int32_t sent = ToInt32(bytes);
  const int32_t remaining = ToInt32(channel->queuedBytes);
  StartWrite(channel);
  Raise([sent, remaining](SocketEvents& events) { events.OnSendProgress(sent, remaining); });
}

void AsioSocket::SendFinished(const ChannelPtr& channel) {
  if (channel->shutdownPending) {
    channel->shutdownPending = false;
    asio::error_code ignored;  // a peer gone already shows in the next read
    channel->tcp.shutdown(tcp::socket::shutdown_send, ignored);
  }
  Raise([](SocketEvents& events) { events.OnSendComplete(); });
}

void AsioSocket::PauseReading() {
  if (channel_) channel_->readPaused = true;
}

void AsioSocket::ResumeReading() {
  if (!channel_ || !channel_->readPaused) return;
  channel_->readPaused = false;
  if (state_ == SocketState::kConnected) StartRead(channel_);
  if (state_ == SocketState::kListening) StartAccept(channel_);
}

void AsioSocket::ShutdownSend() {
  if (!channel_ || !channel_->tcp.is_open()) return;
  if (!channel_->writing.empty() || !channel_->queued.empty()) {
    channel_->shutdownPending = true;
    return;
  }
  asio::error_code ignored;
  channel_->tcp.shutdown(tcp::socket::shutdown_send, ignored);
}

void AsioSocket::Close() {
  Release();
  std::string().swap(arrived_);  // a burst's buffer is not kept for the next peer
  state_ = SocketState::kClosed;
}

AsioSocket::ChannelPtr AsioSocket::OpenChannel() {
  channel_ = std::make_shared<Channel>(this, context_);
  return channel_;
}

void AsioSocket::Release() {
  if (!channel_) return;
  const ChannelPtr channel = std::move(channel_);
  channel->owner = nullptr;
  channel->queued.clear();
  channel->queuedBytes = 0;
  // The parts of a write in flight stay with the channel until its completion.
  asio::error_code ignored;
  channel->resolver.cancel();
  channel->acceptor.close(ignored);
  channel->tcp.close(ignored);
  channel->udp.close(ignored);
}

void AsioSocket::RequireClosed() const {
  if (state_ != SocketState::kClosed) throw errors::InvalidSocketOperation();
}

void AsioSocket::Fail(const asio::error_code& error) { Fail(error.value(), error.message()); }

void AsioSocket::Fail(int number, const std::string& description) {
  Release();
  state_ = SocketState::kError;
  Raise([&](SocketEvents& events) { events.OnError(number, description); });
}

}  // namespace tavrik
