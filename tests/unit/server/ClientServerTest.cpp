#include "server/ClientServer.h"

#include <gtest/gtest.h>

#include "frames/MultipartPart.h"
#include "frames/PartArena.h"
#include "platform/fake/FakePlatform.h"
#include "server/ResponseHead.h"
#include "support/LogCapture.h"

namespace tavrik {
namespace {

class ClientServerTest : public ::testing::Test {
 protected:
  ClientServerTest() { server.Listen(8147); }

  // The server creates the listener first, then the client sockets in order.
  FakeSocket& Listener() { return *platform.Sockets().at(0); }
  FakeSocket& Client(int i) { return *platform.Sockets().at(1 + static_cast<size_t>(i)); }
  // A client connects and sends its request: it now streams.
  int Stream() {
    Listener().RequestConnection("127.0.0.1");
    for (int i = 0; i < server.SocketCount(); ++i) {
      if (Client(i).State() == SocketState::kConnected && !server.IsStreaming(i)) {
        Client(i).Arrive("GET / HTTP/1.0\r\n\r\n");
        return i;
      }
    }
    ADD_FAILURE() << "no client accepted";
    return -1;
  }

  test::LogCapture log{0};
  FakePlatform platform;
  int listenerFailures = 0;
  ClientServer server{platform, [this] { ++listenerFailures; }};
  const Payload part = BuildPart(kPlainTextType, "frame");
  static constexpr int32_t kHoldBack = ClientServer::kHoldBackBytes;
};

TEST_F(ClientServerTest, ThirtyOneClientsAreAcceptedAndTheThirtySecondOnlyLogged) {
  for (int i = 0; i < 31; ++i) Listener().RequestConnection("10.0.0.1");
  EXPECT_EQ(server.SocketCount(), 31);
  for (int i = 0; i <= 30; ++i) EXPECT_EQ(Client(i).State(), SocketState::kConnected);
  log.Clear();
  Listener().RequestConnection("10.0.0.2");
  EXPECT_EQ(server.SocketCount(), 31);
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"Connection request:10.0.0.2"});
}

TEST_F(ClientServerTest, FirstRequestUsesSlotZeroAndLogsTheConnection) {
  Listener().RequestConnection("10.0.0.1");
  EXPECT_EQ(Client(0).State(), SocketState::kConnected);
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Connection request:10.0.0.1", "Connected to Winsock(0),"}));
}

TEST_F(ClientServerTest, ClosedSlotIsReusedWithNothingLeftFromTheOldClient) {
  const int first = Stream();
  Stream();
  server.Broadcast(MakePayload(std::string(kHoldBack, 'x')));
  server.Broadcast(part);  // held back
  server.CloseClient(first);
  Listener().RequestConnection("10.0.0.3");
  EXPECT_EQ(server.SocketCount(), 2);
  EXPECT_EQ(Client(0).State(), SocketState::kConnected);
  EXPECT_EQ(server.UnsentBytes(0), 0);
  EXPECT_EQ(server.HeldBackBytes(0), 0);
  Client(0).sent.clear();
  Client(0).Arrive("GET /");
  server.Broadcast(part);
  EXPECT_EQ(Client(0).sent, std::string(ResponseHead().View()) + std::string(part.View()));
}

TEST_F(ClientServerTest, StaleSocketIsClosedAndSkippedAndReusedLater) {
  Listener().RequestConnection("a");
  Listener().RequestConnection("b");
  Client(0).SetState(SocketState::kError);
  Listener().RequestConnection("c");
  EXPECT_EQ(Client(0).State(), SocketState::kClosed);  // closed, but not taken by this request
  EXPECT_EQ(server.SocketCount(), 3);
  EXPECT_EQ(Client(2).State(), SocketState::kConnected);
  Listener().RequestConnection("d");
  EXPECT_EQ(Client(0).State(), SocketState::kConnected);
}

TEST_F(ClientServerTest, FailedAcceptIsLoggedAndTheRelayGoesOn) {
  Listener().RequestConnection("a");
  Client(0).PeerClose();
  Client(0).Fail("Accept", PlatformError(10053, "Connection aborted"));
  Listener().RequestConnection("b");
  EXPECT_TRUE(log.Contains("ConnectionRequest error: 10053 - Connection aborted"));
  EXPECT_EQ(Client(0).State(), SocketState::kClosed);
  Client(0).StopFailing("Accept");
  Listener().RequestConnection("c");
  EXPECT_EQ(Client(0).State(), SocketState::kConnected);
}

TEST_F(ClientServerTest, FirstDataGetsTheHeadAndASecondBurstClosesTheClient) {
  Listener().RequestConnection("a");
  EXPECT_TRUE(Client(0).sent.empty());  // nothing before the client speaks
  Client(0).Arrive("x");
  EXPECT_EQ(Client(0).sent,
            "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=ABCDEF12345678\r\n\r\n"
            "--ABCDEF12345678\r\n");
  EXPECT_EQ(Client(0).sent.size(), 102u);
  EXPECT_EQ(server.UnsentBytes(0), 0);  // the head is not counted
  Client(0).Arrive("y");
  EXPECT_EQ(Client(0).State(), SocketState::kClosed);
  EXPECT_TRUE(log.Contains("CloseConnection(0)."));
  EXPECT_FALSE(server.IsStreaming(0));
}

// A request's handler lets pending events run before it answers. When these
// close its connection and accept the next one into the same slot, the answer
// is no longer due: the new client neither gets a head it did not ask for nor
// is closed for a request it sent only once.
TEST_F(ClientServerTest, RequestWhoseSlotWasTakenMeanwhileLeavesTheNewClientAlone) {
  for (const bool newClientSpeaks : {false, true}) {
    SCOPED_TRACE(newClientSpeaks ? "the new client has spoken" : "the new client is silent");
    const int slot = Stream();
    platform.Loop().Post([&] {
      server.CloseClient(slot);
      Listener().RequestConnection("next");
      if (newClientSpeaks) Client(slot).Arrive("GET / HTTP/1.0\r\n\r\n");
    });
    Client(slot).sent.clear();
    Client(slot).Arrive("late second burst");
    ASSERT_EQ(Client(slot).State(), SocketState::kConnected);
    EXPECT_EQ(server.IsStreaming(slot), newClientSpeaks);
    EXPECT_EQ(Client(slot).sent, newClientSpeaks ? std::string(ResponseHead().View()) : std::string());
    if (!newClientSpeaks) Client(slot).Arrive("GET /");
    EXPECT_TRUE(server.IsStreaming(slot));
    server.CloseClient(slot);
  }
}

TEST_F(ClientServerTest, BroadcastSkipsClientsWithoutHeadAndDisconnectedOnes) {
  const int streaming = Stream();
  const int gone = Stream();
  Listener().RequestConnection("silent");
  Client(gone).SetState(SocketState::kClosing);
  server.Broadcast(part);
  EXPECT_EQ(Client(streaming).sent, std::string(ResponseHead().View()) + std::string(part.View()));
  EXPECT_TRUE(Client(2).sent.empty());
  EXPECT_EQ(Client(gone).sent, ResponseHead().View());
}

TEST_F(ClientServerTest, HoldBackStartsAtOneHundredThousandUnsentBytes) {
  const int i = Stream();
  Client(i).DrainAll();
  server.Broadcast(MakePayload(std::string(kHoldBack - 1, 'x')));
  server.Broadcast(part);  // 99999 unsent: still sent
  EXPECT_EQ(Client(i).sendCalls, 3);
  EXPECT_EQ(server.UnsentBytes(i), kHoldBack - 1 + static_cast<int32_t>(part.size()));
  server.Broadcast(part);
  EXPECT_EQ(Client(i).sendCalls, 3);
  EXPECT_EQ(server.HeldBackBytes(i), static_cast<int64_t>(part.size()));
}

TEST_F(ClientServerTest, HeldBackPartsAreDroppedOnlyBeyondOneMillionBytes) {
  const int i = Stream();
  server.Broadcast(MakePayload(std::string(kHoldBack, 'x')));
  server.Broadcast(MakePayload(std::string(1000000, 'b')));
  EXPECT_EQ(server.HeldBackBytes(i), 1000000);
  server.Broadcast(part);  // exactly 1000000 stays
  EXPECT_EQ(server.HeldBackBytes(i), 1000000 + static_cast<int64_t>(part.size()));
  server.Broadcast(part);  // one more: emptied first
  EXPECT_EQ(server.HeldBackBytes(i), static_cast<int64_t>(part.size()));
  EXPECT_EQ(server.HeldBackRuns(i), 1u);
  // Counted for the status report: every part held back, and the two dropped.
  EXPECT_EQ(server.PartsHeldBack(), 3);
  EXPECT_EQ(server.PartsDropped(), 2);
  EXPECT_EQ(server.StreamingCount(), 1);
}

TEST_F(ClientServerTest, CatchUpSendsHeldBackAndNewPartInOneSendSharingTheBuffers) {
  const int i = Stream();
  Client(i).DrainAll();
  server.Broadcast(MakePayload(std::string(kHoldBack, 'x')));
  const Payload first = BuildPart(kPlainTextType, "first");
  server.Broadcast(first);
  Client(i).DrainAll();  // OnSendComplete
  EXPECT_EQ(server.UnsentBytes(i), 0);
  server.Broadcast(part);
  ASSERT_EQ(Client(i).lastSend.size(), 2u);
  EXPECT_EQ(Client(i).lastSend[0].data(), first.data());
  EXPECT_EQ(Client(i).lastSend[1].data(), part.data());
  EXPECT_EQ(server.UnsentBytes(i), static_cast<int32_t>(first.size() + part.size()));
  EXPECT_EQ(server.HeldBackBytes(i), 0);
}

TEST_F(ClientServerTest, HeldBackPartsThatLieSideBySideCatchUpAsOneRun) {
  const int i = Stream();
  Client(i).DrainAll();
  server.Broadcast(MakePayload(std::string(kHoldBack, 'x')));
  PartArena arena;
  std::string expected;
  for (int n = 0; n < 50; ++n) {
    const Payload next = arena.BuildPart(kPlainTextType, "receipt " + std::to_string(n));
    expected += next.View();
    server.Broadcast(next);
  }
  EXPECT_EQ(server.HeldBackRuns(i), 1u) << "one run, not fifty parts";
  EXPECT_EQ(server.HeldBackBytes(i), static_cast<int64_t>(expected.size()));
  Client(i).DrainAll();  // OnSendComplete
  Client(i).sent.clear();
  const Payload last = arena.BuildPart(kPlainTextType, "receipt 50");
  expected += last.View();
  server.Broadcast(last);
  ASSERT_EQ(Client(i).lastSend.size(), 1u);
  EXPECT_EQ(Client(i).sent, expected);
  EXPECT_EQ(server.UnsentBytes(i), static_cast<int32_t>(expected.size()));
}

TEST_F(ClientServerTest, ProgressAssignsRemainingBytes) {
  const int i = Stream();
  server.Broadcast(MakePayload(std::string(5000, 'z')));
  Client(i).Drain(1000);
  EXPECT_EQ(server.UnsentBytes(i), static_cast<int32_t>(Client(i).pendingBytes()));
}

TEST_F(ClientServerTest, EveryClientGetsTheSameBufferAndAFailingOneCostsOthersNothing) {
  for (int n = 0; n < 3; ++n) Stream();
  Client(1).Fail("Send", PlatformError(10054, "Connection reset by peer"));
  server.Broadcast(part);
  EXPECT_EQ(Client(0).lastSend[0].data(), part.data());
  EXPECT_EQ(Client(2).lastSend[0].data(), part.data());
  EXPECT_EQ(Client(1).State(), SocketState::kClosed);
  EXPECT_TRUE(log.Contains("Winsock(1).Error: 10054 - Connection reset by peer"));
}

TEST_F(ClientServerTest, ClientErrorClosesOnlyThatClient) {
  Stream();
  Stream();
  Client(0).RaiseError(10054, "reset");
  EXPECT_EQ(Client(0).State(), SocketState::kClosed);
  EXPECT_EQ(Client(1).State(), SocketState::kConnected);
  EXPECT_TRUE(log.Contains("Winsock(0).Error: 10054 - reset"));
}

TEST_F(ClientServerTest, CloseConnectionOutsideTheTableDoesNothing) {
  server.CloseClient(-1);
  server.CloseClient(1);
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(ClientServerTest, ListenerCloseAndErrorAskForAFullReset) {
  Listener().PeerClose();
  EXPECT_EQ(listenerFailures, 1);
  Listener().RaiseError(10048, "Address in use");
  EXPECT_EQ(listenerFailures, 2);
  EXPECT_TRUE(log.Contains("ListenSock.Error: 10048 - Address in use"));
}

TEST_F(ClientServerTest, ListeningAgainClosesAndReopensOnTheCurrentPort) {
  const int closes = Listener().closeCalls;
  server.Listen(9000);
  EXPECT_EQ(Listener().closeCalls, closes + 1);
  EXPECT_EQ(Listener().listenPort, 9000);
  EXPECT_EQ(Listener().State(), SocketState::kListening);
}

}  // namespace
}  // namespace tavrik
