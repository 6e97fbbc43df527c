#include "platform/asio/AsioSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <array>
#include <vector>

#include "platform/PlatformError.h"

namespace tavrik {
namespace {

using asio::ip::tcp;
using asio::ip::udp;
using namespace std::chrono_literals;

const asio::ip::address kLoopback = asio::ip::make_address("127.0.0.1");

struct Recorder : SocketEvents {
  void OnConnected() override { names.push_back("Connect"); }
  void OnConnectionRequest(int32_t requestId) override {
    names.push_back("ConnectionRequest");
    if (onRequest) onRequest(requestId);
  }
  void OnData() override {
    names.push_back("DataArrival");
    if (onData) onData();
  }
  void OnSendProgress(int32_t bytesSent, int32_t bytesRemaining) override {
    names.push_back("SendProgress");
    progress.emplace_back(bytesSent, bytesRemaining);
  }
  void OnSendComplete() override { names.push_back("SendComplete"); }
  void OnClosed() override { names.push_back("Close"); }
  void OnError(int number, const std::string& description) override {
    names.push_back("Error");
    errors.emplace_back(number, description);
  }
  std::ptrdiff_t Count(const std::string& name) const { return std::count(names.begin(), names.end(), name); }

  std::vector<std::string> names;
  std::vector<std::pair<int32_t, int32_t>> progress;
  std::vector<std::pair<int, std::string>> errors;
  std::function<void(int32_t)> onRequest;
  std::function<void()> onData;
};

std::string AllByteValues(int rounds) {
  std::string bytes;
  for (int r = 0; r < rounds; ++r) {
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  }
  return bytes;
}

class AsioSocketTest : public ::testing::Test {
 protected:
  // Runs the event loop until done() holds or the time is up.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      context_.run_one_for(5ms);
    }
    return true;
  }

  std::unique_ptr<AsioSocket> MakeSocket(Recorder& recorder) {
    auto socket = std::make_unique<AsioSocket>(context_, requests_);
    socket->SetEvents(&recorder);
    return socket;
  }

  // Takes what the peer has received so far; true once its connection ended.
  static bool Drain(tcp::socket& peer, std::string& into) {
    peer.non_blocking(true);
    char buffer[65536];
    asio::error_code error;
    for (;;) {
      const std::size_t n = peer.read_some(asio::buffer(buffer), error);
      if (error == asio::error::would_block) break;
      if (error) return true;
      into.append(buffer, n);
    }
    peer.non_blocking(false);
    return false;
  }

  std::string ReadFromPeer(tcp::socket& peer, std::size_t length) {
    std::string got;
    RunUntil([&] { return Drain(peer, got) || got.size() >= length; });
    return got;
  }

  // A socket connected to a plain Asio peer, with the peer's end.
  std::unique_ptr<AsioSocket> ConnectedPair(Recorder& recorder, tcp::socket& peer) {
    tcp::acceptor acceptor(context_, tcp::endpoint(kLoopback, 0));
    auto socket = MakeSocket(recorder);
    socket->Connect("127.0.0.1", acceptor.local_endpoint().port());
    EXPECT_TRUE(RunUntil([&] { return recorder.Count("Connect") == 1; }));
    acceptor.accept(peer);
    return socket;
  }

  // A listening socket on an ephemeral port.
  std::unique_ptr<AsioSocket> Listener(Recorder& recorder) {
    auto listener = MakeSocket(recorder);
    listener->Listen(0);
    return listener;
  }

  static tcp::endpoint At(const AsioSocket& socket) {
    return tcp::endpoint(kLoopback, static_cast<uint16_t>(socket.LocalPort()));
  }

  asio::io_context context_{1};
  asio::executor_work_guard<asio::io_context::executor_type> work_{context_.get_executor()};
  ConnectionRequests requests_;
};

TEST_F(AsioSocketTest, ConnectsByAddressAndByName) {
  tcp::acceptor acceptor(context_, tcp::endpoint(kLoopback, 0));
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    Recorder recorder;
    auto socket = MakeSocket(recorder);
    socket->Connect(host, acceptor.local_endpoint().port());
    EXPECT_NE(socket->State(), SocketState::kConnected);
    ASSERT_TRUE(RunUntil([&] { return !recorder.names.empty(); })) << host;
    EXPECT_EQ(recorder.names, std::vector<std::string>{"Connect"}) << host;
    EXPECT_EQ(socket->State(), SocketState::kConnected);
    EXPECT_EQ(socket->RemoteHost(), host);
    tcp::socket peer(context_);
    acceptor.accept(peer);
    EXPECT_EQ(peer.remote_endpoint().port(), socket->LocalPort());
  }
}

TEST_F(AsioSocketTest, RefusedConnectRaisesError) {
  uint16_t freePort = 0;
  {
    tcp::acceptor probe(context_, tcp::endpoint(kLoopback, 0));
    freePort = probe.local_endpoint().port();
  }
  Recorder recorder;
  auto socket = MakeSocket(recorder);
  socket->Connect("127.0.0.1", freePort);
  EXPECT_EQ(socket->State(), SocketState::kConnecting);
  ASSERT_TRUE(RunUntil([&] { return !recorder.names.empty(); }));
  ASSERT_EQ(recorder.names, std::vector<std::string>{"Error"});
  EXPECT_EQ(recorder.errors[0].first, asio::error_code(asio::error::connection_refused).value());
  EXPECT_FALSE(recorder.errors[0].second.empty());
  EXPECT_EQ(socket->State(), SocketState::kError);
  socket->Close();
  EXPECT_EQ(socket->State(), SocketState::kClosed);
}

TEST_F(AsioSocketTest, MembersOutOfStateThrow) {
  Recorder recorder;
  auto socket = MakeSocket(recorder);
  EXPECT_THROW(socket->Send(MakePayload("x")), PlatformError);
  EXPECT_THROW(socket->Accept(12345), PlatformError);
  EXPECT_THROW(socket->Connect("127.0.0.1", 0), PlatformError);
  EXPECT_EQ(socket->State(), SocketState::kClosed);

  auto listener = Listener(recorder);
  EXPECT_THROW(listener->Listen(0), PlatformError);
  EXPECT_THROW(listener->Bind(0), PlatformError);
  try {
    listener->Send(MakePayload("x"));
    FAIL() << "Send on a listener must fail";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), 40006);
  }
}

TEST_F(AsioSocketTest, ListenOnPortInUseThrowsAndRestartedListenerRebindsAtOnce) {
  tcp::acceptor holder(context_, tcp::endpoint(asio::ip::address_v4::any(), 0));
  Recorder recorder;
  auto listener = MakeSocket(recorder);
  try {
    listener->Listen(holder.local_endpoint().port());
    FAIL() << "Listen on a port in use must fail";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), asio::error_code(asio::error::address_in_use).value());
  }
  EXPECT_EQ(listener->State(), SocketState::kClosed);

  // The listener restarts on its port while a connection it took is still open.
  listener->Listen(0);
  const int port = listener->LocalPort();
  Recorder served;
  auto client = MakeSocket(served);
  recorder.onRequest = [&](int32_t id) { client->Accept(id); };
  tcp::socket peer(context_);
  peer.connect(At(*listener));
  ASSERT_TRUE(RunUntil([&] { return client->State() == SocketState::kConnected; }));
  listener->Close();
  EXPECT_NO_THROW(listener->Listen(port));
  EXPECT_EQ(listener->State(), SocketState::kListening);
  client->Send(MakePayload("still here"));
  EXPECT_EQ(ReadFromPeer(peer, 10), "still here");
  recorder.onRequest = nullptr;
  tcp::socket second(context_);
  second.connect(At(*listener));
  EXPECT_TRUE(RunUntil([&] { return recorder.Count("ConnectionRequest") == 2; }));
}

TEST_F(AsioSocketTest, ConnectionRequestAcceptedOnAnotherSocket) {
  Recorder listening;
  auto listener = Listener(listening);
  EXPECT_EQ(listener->State(), SocketState::kListening);
  Recorder served;
  auto client = MakeSocket(served);
  std::string requester;
  listening.onRequest = [&](int32_t id) {
    requester = listener->RemoteHost();
    client->Accept(id);
  };
  std::string received;
  served.onData = [&] {
    std::string chunk = "stale";
    client->Read(chunk);
    received += chunk;
  };

  tcp::socket peer(context_);
  peer.connect(At(*listener));
  ASSERT_TRUE(RunUntil([&] { return client->State() == SocketState::kConnected; }));
  EXPECT_EQ(requester, "127.0.0.1");
  EXPECT_TRUE(served.names.empty());  // Accept raises no Connect

  asio::write(peer, asio::buffer(std::string("hello")));
  ASSERT_TRUE(RunUntil([&] { return received.size() >= 5; }));
  EXPECT_EQ(received, "hello");
  client->Send(MakePayload("back"));
  EXPECT_EQ(ReadFromPeer(peer, 4), "back");

  // The listener goes on listening: a second peer is offered too.
  EXPECT_EQ(listener->State(), SocketState::kListening);
  listening.onRequest = nullptr;
  tcp::socket second(context_);
  second.connect(At(*listener));
  ASSERT_TRUE(RunUntil([&] { return listening.Count("ConnectionRequest") == 2; }));
}

TEST_F(AsioSocketTest, ListenerClosesItselfAndAcceptsTheRequest) {
  Recorder recorder;
  auto socket = Listener(recorder);
  const tcp::endpoint address = At(*socket);
  recorder.onRequest = [&](int32_t id) {
    socket->Close();
    context_.poll();  // the relay runs pending events here
    socket->Accept(id);
  };
  std::string received;
  recorder.onData = [&] {
    std::string chunk;
    socket->Read(chunk);
    received += chunk;
  };
  tcp::socket peer(context_);
  peer.connect(address);
  ASSERT_TRUE(RunUntil([&] { return socket->State() == SocketState::kConnected; }));
  asio::write(peer, asio::buffer(std::string("data")));
  ASSERT_TRUE(RunUntil([&] { return received == "data"; }));
  socket->Send(MakePayload("reply"));
  EXPECT_EQ(ReadFromPeer(peer, 5), "reply");

  // Nobody listens any more: one peer at a time.
  tcp::socket second(context_);
  asio::error_code error;
  second.connect(address, error);
  EXPECT_EQ(error, asio::error::connection_refused);
}

TEST_F(AsioSocketTest, RequestNotAcceptedIsClosed) {
  Recorder recorder;
  auto listener = Listener(recorder);
  Recorder other;
  auto busy = MakeSocket(other);
  busy->Listen(0);
  recorder.onRequest = [&](int32_t id) {
    EXPECT_THROW(busy->Accept(id), PlatformError);  // not closed
  };
  tcp::socket peer(context_);
  peer.connect(At(*listener));
  std::string got;
  EXPECT_TRUE(RunUntil([&] { return Drain(peer, got); }));
  EXPECT_EQ(recorder.Count("ConnectionRequest"), 1);
  EXPECT_TRUE(got.empty());
}

TEST_F(AsioSocketTest, ReadReturnsEveryByteValueInOrder) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  const std::string sent = AllByteValues(400);  // ~100 KiB: several reads
  asio::write(peer, asio::buffer(sent));
  std::string received;
  recorder.onData = [&] {
    std::string chunk;
    socket->Read(chunk);
    received += chunk;
  };
  ASSERT_TRUE(RunUntil([&] { return received.size() >= sent.size(); }));
  EXPECT_EQ(received, sent);
  std::string empty = "old";
  socket->Read(empty);
  EXPECT_EQ(empty, "");
}

TEST_F(AsioSocketTest, PartsSentByOneHandlerLeaveInOneWrite) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  recorder.names.clear();
  const std::vector<Payload> first = {MakePayload("alpha-"), MakePayload(AllByteValues(1)),
                                      MakePayload("-gamma")};
  socket->Send(first);
  socket->Send(MakePayload("delta"));
  socket->Send(std::vector<Payload>{MakePayload(""), MakePayload("-epsilon")});
  const std::string expected = "alpha-" + AllByteValues(1) + "-gamma" + "delta" + "-epsilon";

  EXPECT_EQ(ReadFromPeer(peer, expected.size()), expected);
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("SendComplete") == 1; }));
  EXPECT_TRUE(recorder.progress.empty());  // one gathered write took everything
  EXPECT_EQ(recorder.names, (std::vector<std::string>{"SendComplete"}));
}

TEST_F(AsioSocketTest, SendAtOnceReachesThePeerWithinTheCallAndReportsFromTheLoop) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  recorder.names.clear();
  socket->SendAtOnce(MakePayload(AllByteValues(2)));
  EXPECT_TRUE(recorder.names.empty());  // no event from within the call
  std::string got;
  Drain(peer, got);  // loopback: in the peer's buffer once the write returned
  EXPECT_EQ(got, AllByteValues(2));  // the loop has not run
  socket->SendAtOnce(MakePayload("next"));
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("SendComplete") >= 1; }));
  context_.poll();
  EXPECT_EQ(recorder.names, (std::vector<std::string>{"SendComplete"}));
  EXPECT_EQ(ReadFromPeer(peer, 4), "next");

  // Behind a send the kernel cannot take at once, the bytes keep their order.
  std::string big(8 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13 % 251);
  recorder.names.clear();
  socket->SendAtOnce(MakePayload(big));
  socket->Send(MakePayload("queued"));
  socket->SendAtOnce(MakePayload("last"));
  EXPECT_TRUE(ReadFromPeer(peer, big.size() + 10) == big + "queuedlast");
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("SendComplete") == 1; }));
  context_.poll();
  EXPECT_EQ(recorder.Count("SendComplete"), 1);
}

TEST_F(AsioSocketTest, LargeSendToIdlePeerDrainsWhenPeerReads) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  std::string big(32 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  socket->Send(MakePayload(big));  // more than the kernel buffers hold
  socket->Send(MakePayload("tail1"));
  context_.poll();
  socket->Send(MakePayload("tail22"));
  context_.poll();
  EXPECT_EQ(recorder.Count("SendComplete"), 0);

  EXPECT_TRUE(ReadFromPeer(peer, big.size() + 11) == big + "tail1tail22");
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("SendComplete") == 1; }));
  ASSERT_FALSE(recorder.progress.empty());
  // big and tail1 left in the first write; tail22 queued behind it.
  EXPECT_EQ(recorder.progress[0], std::make_pair(static_cast<int32_t>(big.size() + 5), 6));
}

TEST_F(AsioSocketTest, BytesTheKernelTookStayUnacknowledgedUntilThePeerHasRoom) {
  tcp::acceptor acceptor(context_);
  acceptor.open(tcp::v4());
  acceptor.set_option(asio::socket_base::receive_buffer_size(1));  // the least: a tiny window
  acceptor.bind(tcp::endpoint(kLoopback, 0));
  acceptor.listen();
  Recorder recorder;
  auto socket = MakeSocket(recorder);
  EXPECT_EQ(socket->UnacknowledgedBytes(), 0);
  socket->Connect("127.0.0.1", acceptor.local_endpoint().port());
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("Connect") == 1; }));
  tcp::socket peer(context_);
  acceptor.accept(peer);
  const std::string bytes(8192, 'u');  // the kernel takes it whole; the window holds a part
  socket->Send(MakePayload(bytes));
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("SendComplete") == 1; }));
  RunUntil([] { return false; }, 100ms);
  EXPECT_GT(socket->UnacknowledgedBytes(), 0);
  EXPECT_LE(socket->UnacknowledgedBytes(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(ReadFromPeer(peer, bytes.size()), bytes);
  EXPECT_TRUE(RunUntil([&] { return socket->UnacknowledgedBytes() == 0; }));
  socket->Close();
  EXPECT_EQ(socket->UnacknowledgedBytes(), 0);
}

TEST_F(AsioSocketTest, PeerCloseRaisesCloseAndKeepsArrivedData) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  asio::write(peer, asio::buffer(std::string("bye")));
  peer.shutdown(tcp::socket::shutdown_send);  // a half close, as a POS ends its job
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("Close") == 1; }));
  EXPECT_EQ(recorder.names.back(), "Close");
  EXPECT_EQ(socket->State(), SocketState::kClosing);
  std::string data;
  socket->Read(data);
  EXPECT_EQ(data, "bye");
  // The peer only ended its side: it still reads what is sent until Close.
  socket->Send(MakePayload("late"));
  EXPECT_EQ(ReadFromPeer(peer, 4), "late");
  socket->Close();
  EXPECT_EQ(socket->State(), SocketState::kClosed);
  EXPECT_THROW(socket->Send(MakePayload("later")), PlatformError);
}

TEST_F(AsioSocketTest, PausedReadingHoldsThePeerBackAndLosesNothing) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  std::string received;
  recorder.onData = [&] {
    std::string chunk;
    socket->Read(chunk);
    received += chunk;
  };
  socket->PauseReading();
  const std::string sent = AllByteValues(8 * 4096);  // 8 MiB, beyond the kernel buffers
  bool peerDone = false;
  asio::async_write(peer, asio::buffer(sent), [&](const asio::error_code&, std::size_t) { peerDone = true; });
  RunUntil([&] { return peerDone; }, 500ms);
  EXPECT_FALSE(peerDone);                        // the peer's window closed
  EXPECT_LE(received.size(), size_t{64 * 1024});  // at most the read under way
  socket->ResumeReading();
  ASSERT_TRUE(RunUntil([&] { return received.size() >= sent.size() && peerDone; }));
  EXPECT_TRUE(received == sent);
}

TEST_F(AsioSocketTest, ShutdownSendEndsTheStreamAfterQueuedBytesAndStillReads) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  const std::string big = AllByteValues(4 * 4096);  // 4 MiB: still queued at the shutdown
  socket->Send(MakePayload(big));
  socket->ShutdownSend();
  std::string got;
  ASSERT_TRUE(RunUntil([&] { return Drain(peer, got); }));  // end of stream after every byte
  EXPECT_TRUE(got == big);
  asio::write(peer, asio::buffer(std::string("reply")));
  std::string reply;
  ASSERT_TRUE(RunUntil([&] {
    std::string chunk;
    socket->Read(chunk);
    reply += chunk;
    return reply == "reply";
  }));
  EXPECT_EQ(recorder.Count("Close"), 0);
  EXPECT_EQ(socket->State(), SocketState::kConnected);
}

TEST_F(AsioSocketTest, LocalCloseRaisesNothing) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  recorder.names.clear();
  socket->Send(MakePayload(std::string(16 * 1024 * 1024, 'x')));  // a write in flight
  asio::write(peer, asio::buffer(std::string("unread")));
  socket->Close();
  socket->Close();
  EXPECT_EQ(socket->State(), SocketState::kClosed);
  std::string got;
  EXPECT_TRUE(RunUntil([&] { return Drain(peer, got); }));
  EXPECT_TRUE(recorder.names.empty());
  std::string data = "old";
  socket->Read(data);
  EXPECT_EQ(data, "");
}

TEST_F(AsioSocketTest, CloseInsideOwnHandlerEndsTheConnection) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  recorder.onData = [&] { socket->Close(); };
  asio::write(peer, asio::buffer(std::string("first")));
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("DataArrival") == 1; }));
  EXPECT_EQ(socket->State(), SocketState::kClosed);
  std::string got;
  EXPECT_TRUE(RunUntil([&] { return Drain(peer, got); }));
  EXPECT_EQ(recorder.Count("DataArrival"), 1);
  EXPECT_EQ(recorder.Count("Close"), 0);
}

TEST_F(AsioSocketTest, ThrowingHandlerOrNoReceiverLeavesSocketWorking) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  recorder.onData = [] { throw std::runtime_error("handler failure"); };
  asio::write(peer, asio::buffer(std::string("one")));
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("DataArrival") == 1; }));
  socket->SetEvents(nullptr);
  asio::write(peer, asio::buffer(std::string("two")));
  std::string all;
  ASSERT_TRUE(RunUntil([&] {
    std::string chunk;
    socket->Read(chunk);
    all += chunk;
    return all.size() >= 6;
  }));
  EXPECT_EQ(all, "onetwo");
  EXPECT_EQ(recorder.Count("DataArrival"), 1);
}

TEST_F(AsioSocketTest, ReadingPausesWhileUnreadDataPilesUp) {
  Recorder recorder;
  tcp::socket peer(context_);
  auto socket = ConnectedPair(recorder, peer);
  const std::string sent = AllByteValues(4 * 4096);  // 4 MiB
  size_t mostUnread = 0;
  recorder.onData = [&] { mostUnread = std::max(mostUnread, socket->UnreadBytes()); };
  bool peerDone = false;
  asio::async_write(peer, asio::buffer(sent), [&](const asio::error_code&, std::size_t) { peerDone = true; });
  ASSERT_TRUE(RunUntil([&] { return mostUnread >= 1024 * 1024; }));
  RunUntil([&] { return peerDone; }, 500ms);  // give the peer time to push more
  EXPECT_LE(mostUnread, size_t{1024 * 1024 + 64 * 1024});

  std::string received;
  socket->Read(received);
  recorder.onData = [&] {
    std::string chunk;
    socket->Read(chunk);
    received += chunk;
  };
  ASSERT_TRUE(RunUntil([&] { return received.size() >= sent.size(); }));
  EXPECT_TRUE(received == sent);
}

TEST_F(AsioSocketTest, UdpBindReceivesEachDatagram) {
  Recorder recorder;
  auto socket = MakeSocket(recorder);
  socket->Bind(0);
  EXPECT_EQ(socket->State(), SocketState::kOpen);
  const udp::endpoint target(kLoopback, static_cast<uint16_t>(socket->LocalPort()));
  udp::socket sender(context_, udp::endpoint(kLoopback, 0));
  sender.send_to(asio::buffer(std::string("one\0", 4)), target);
  sender.send_to(asio::buffer(AllByteValues(1)), target);
  ASSERT_TRUE(RunUntil([&] { return recorder.Count("DataArrival") == 2; }));
  std::string data;
  socket->Read(data);
  EXPECT_EQ(data, std::string("one\0", 4) + AllByteValues(1));

  Recorder second;
  auto clash = MakeSocket(second);
  EXPECT_THROW(clash->Bind(socket->LocalPort()), PlatformError);
}

TEST_F(AsioSocketTest, UdpAddressedReceivesFromItsPeerOnly) {
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    udp::socket peer(context_, udp::endpoint(kLoopback, 0));
    udp::socket stranger(context_, udp::endpoint(kLoopback, 0));
    Recorder recorder;
    auto socket = MakeSocket(recorder);
    socket->OpenUdp(host, peer.local_endpoint().port());
    EXPECT_EQ(socket->State(), SocketState::kOpen);
    ASSERT_NE(socket->LocalPort(), 0);
    const udp::endpoint target(kLoopback, static_cast<uint16_t>(socket->LocalPort()));
    stranger.send_to(asio::buffer(std::string("intruder")), target);
    peer.send_to(asio::buffer(std::string("expected")), target);
    ASSERT_TRUE(RunUntil([&] { return recorder.Count("DataArrival") >= 1; }));
    std::string data;
    socket->Read(data);
    EXPECT_EQ(data, "expected") << host;
  }
}

// Digits open within the call, raising nothing; a name opens once its
// lookup returns.
TEST_F(AsioSocketTest, UdpOpenedAsyncLooksANameUpWithoutBlocking) {
  udp::socket peer(context_, udp::endpoint(kLoopback, 0));
  Recorder digits;
  auto opened = MakeSocket(digits);
  opened->OpenUdpAsync("127.0.0.1", peer.local_endpoint().port());
  EXPECT_EQ(opened->State(), SocketState::kOpen);
  Recorder named;
  auto looked = MakeSocket(named);
  looked->OpenUdpAsync("localhost", peer.local_endpoint().port());
  EXPECT_EQ(looked->State(), SocketState::kResolvingHost);
  ASSERT_TRUE(RunUntil([&] { return named.Count("Connect") == 1; }));
  looked->Send(MakePayload("named"));
  std::array<char, 2048> buffer{};
  EXPECT_EQ(std::string(buffer.data(), peer.receive(asio::buffer(buffer))), "named");
  EXPECT_TRUE(digits.names.empty());
}

TEST_F(AsioSocketTest, UdpAddressedSendsEachPartAsOneDatagram) {
  udp::socket peer(context_, udp::endpoint(kLoopback, 0));
  Recorder recorder;
  auto socket = MakeSocket(recorder);
  socket->OpenUdp("127.0.0.1", peer.local_endpoint().port());
  const std::vector<Payload> parts{MakePayload("first"), MakePayload(AllByteValues(1))};
  socket->Send(parts);
  std::array<char, 2048> buffer{};
  EXPECT_EQ(std::string(buffer.data(), peer.receive(asio::buffer(buffer))), "first");
  EXPECT_EQ(std::string(buffer.data(), peer.receive(asio::buffer(buffer))), AllByteValues(1));
}

}  // namespace
}  // namespace tavrik
