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

  FakeSocket& Listener() { return static_cast<FakeSocket&>(*server.ListenSock); }
  FakeSocket& Client(int i) { return static_cast<FakeSocket&>(*server.WinSock[static_cast<size_t>(i)]); }
  // A client connects and sends its request: it now streams.
  int Stream() {
    Listener().RequestConnection("127.0.0.1");
    for (int i = 0; i <= server.UBound(); ++i) {
      if (Client(i).State() == kStateConnected && server.Clients[static_cast<size_t>(i)].HeaderSent == 0) {
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
};

TEST_F(ClientServerTest, ThirtyOneClientsAreAcceptedAndTheThirtySecondOnlyLogged) {
  for (int i = 0; i < 31; ++i) Listener().RequestConnection("10.0.0.1");
  EXPECT_EQ(server.UBound(), 30);
  for (int i = 0; i <= 30; ++i) EXPECT_EQ(Client(i).State(), kStateConnected);
  log.Clear();
  Listener().RequestConnection("10.0.0.2");
  EXPECT_EQ(server.UBound(), 30);
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"Connection request:10.0.0.2"});
}

TEST_F(ClientServerTest, FirstRequestUsesSlotZeroAndLogsTheConnection) {
  Listener().RequestConnection("10.0.0.1");
  EXPECT_EQ(Client(0).State(), kStateConnected);
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Connection request:10.0.0.1", "Connected to Winsock(0),"}));
  EXPECT_EQ(platform.yields, 1);
}

TEST_F(ClientServerTest, ClosedSlotIsReusedAndItsOldStateCleared) {
  const int first = Stream();
  Stream();
  server.Clients[0].BytesPending = 5;
  server.Clients[0].Backlog.push_back(part);
  server.CloseConnection(first);
  EXPECT_EQ(server.Clients[0].BytesPending, 5);  // kept until the slot is taken again
  Listener().RequestConnection("10.0.0.3");
  EXPECT_EQ(server.UBound(), 1);
  EXPECT_EQ(Client(0).State(), kStateConnected);
  EXPECT_EQ(server.Clients[0].BytesPending, 0);
  EXPECT_TRUE(server.Clients[0].Backlog.empty());
}

TEST_F(ClientServerTest, StaleSocketIsClosedAndSkippedAndReusedLater) {
  Listener().RequestConnection("a");
  Listener().RequestConnection("b");
  Client(0).SetState(kStateError);
  Listener().RequestConnection("c");
  EXPECT_EQ(Client(0).State(), kStateClosed);  // closed, but not taken by this request
  EXPECT_EQ(server.UBound(), 2);
  EXPECT_EQ(Client(2).State(), kStateConnected);
  Listener().RequestConnection("d");
  EXPECT_EQ(Client(0).State(), kStateConnected);
}

TEST_F(ClientServerTest, FailedAcceptIsLoggedAndTheRelayGoesOn) {
  Listener().RequestConnection("a");
  Client(0).PeerClose();
  Client(0).Fail("Accept", PlatformError(10053, "Connection aborted"));
  Listener().RequestConnection("b");
  EXPECT_TRUE(log.Contains("ConnectionRequest error: 10053 - Connection aborted"));
  EXPECT_EQ(Client(0).State(), kStateClosed);
  Client(0).StopFailing("Accept");
  Listener().RequestConnection("c");
  EXPECT_EQ(Client(0).State(), kStateConnected);
}

TEST_F(ClientServerTest, FirstDataGetsTheHeadAndASecondBurstClosesTheClient) {
  Listener().RequestConnection("a");
  EXPECT_TRUE(Client(0).sent.empty());  // nothing before the client speaks
  Client(0).Arrive("x");
  EXPECT_EQ(Client(0).sent,
            "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=ABCDEF12345678\r\n\r\n"
            "--ABCDEF12345678\r\n");
  EXPECT_EQ(Client(0).sent.size(), 102u);
  EXPECT_EQ(server.Clients[0].BytesPending, 0);  // the head is not counted
  Client(0).Arrive("y");
  EXPECT_EQ(Client(0).State(), kStateClosed);
  EXPECT_TRUE(log.Contains("CloseConnection(0)."));
  EXPECT_EQ(server.Clients[0].HeaderSent, 0);
}

TEST_F(ClientServerTest, BroadcastSkipsClientsWithoutHeadAndDisconnectedOnes) {
  const int streaming = Stream();
  const int gone = Stream();
  Listener().RequestConnection("silent");
  Client(gone).SetState(kStateClosing);
  server.SendToClients(part);
  EXPECT_EQ(Client(streaming).sent, std::string(ResponseHead().View()) + std::string(part.View()));
  EXPECT_TRUE(Client(2).sent.empty());
  EXPECT_EQ(Client(gone).sent, ResponseHead().View());
}

TEST_F(ClientServerTest, HoldBackStartsAtOneHundredThousandPendingBytes) {
  const int i = Stream();
  Client(i).DrainAll();
  server.Clients[static_cast<size_t>(i)].BytesPending = 99999;
  server.SendToClients(part);
  EXPECT_EQ(Client(i).sendCalls, 2);
  EXPECT_EQ(server.Clients[static_cast<size_t>(i)].BytesPending, 99999 + static_cast<int32_t>(part.size()));
  server.Clients[static_cast<size_t>(i)].BytesPending = 100000;
  server.SendToClients(part);
  EXPECT_EQ(Client(i).sendCalls, 2);
  EXPECT_EQ(server.Clients[static_cast<size_t>(i)].BacklogLength, static_cast<int64_t>(part.size()));
}

TEST_F(ClientServerTest, BacklogIsDroppedOnlyWhenLongerThanOneMillionBytes) {
  const int i = Stream();
  ClientSlot& slot = server.Clients[static_cast<size_t>(i)];
  slot.BytesPending = 100000;
  const Payload big = MakePayload(std::string(1000000, 'b'));
  server.SendToClients(big);
  EXPECT_EQ(slot.BacklogLength, 1000000);
  server.SendToClients(part);  // exactly 1000000 stays
  EXPECT_EQ(slot.BacklogLength, 1000000 + static_cast<int64_t>(part.size()));
  server.SendToClients(part);  // one more: emptied first
  EXPECT_EQ(slot.BacklogLength, static_cast<int64_t>(part.size()));
  ASSERT_EQ(slot.Backlog.size(), 1u);
}

TEST_F(ClientServerTest, CatchUpSendsBacklogAndNewPartInOneSendSharingTheBuffers) {
  const int i = Stream();
  Client(i).DrainAll();
  server.Clients[static_cast<size_t>(i)].BytesPending = 100000;
  const Payload first = BuildPart(kPlainTextType, "first");
  server.SendToClients(first);
  Client(i).Drain(0);  // SendComplete
  EXPECT_EQ(server.Clients[static_cast<size_t>(i)].BytesPending, 0);
  server.SendToClients(part);
  EXPECT_EQ(Client(i).sendCalls, 2);
  ASSERT_EQ(Client(i).lastSend.size(), 2u);
  EXPECT_EQ(Client(i).lastSend[0].data(), first.data());
  EXPECT_EQ(Client(i).lastSend[1].data(), part.data());
  EXPECT_EQ(server.Clients[static_cast<size_t>(i)].BytesPending,
            static_cast<int32_t>(first.size() + part.size()));
  EXPECT_TRUE(server.Clients[static_cast<size_t>(i)].Backlog.empty());
}

TEST_F(ClientServerTest, HeldBackPartsThatLieSideBySideCatchUpAsOneRun) {
  const int i = Stream();
  Client(i).DrainAll();
  ClientSlot& slot = server.Clients[static_cast<size_t>(i)];
  slot.BytesPending = 100000;
  PartArena arena;
  std::string expected;
  for (int n = 0; n < 50; ++n) {
    const Payload next = arena.BuildPart(kPlainTextType, "receipt " + std::to_string(n));
    expected += next.View();
    server.SendToClients(next);
  }
  EXPECT_EQ(slot.Backlog.size(), 1u) << "one run, not fifty parts";
  EXPECT_EQ(slot.BacklogLength, static_cast<int64_t>(expected.size()));
  Client(i).Drain(0);  // SendComplete
  Client(i).sent.clear();
  const Payload last = arena.BuildPart(kPlainTextType, "receipt 50");
  expected += last.View();
  server.SendToClients(last);
  ASSERT_EQ(Client(i).lastSend.size(), 1u);
  EXPECT_EQ(Client(i).sent, expected);
  EXPECT_EQ(slot.BytesPending, static_cast<int32_t>(expected.size()));
}

TEST_F(ClientServerTest, ProgressAssignsRemainingBytes) {
  const int i = Stream();
  server.SendToClients(MakePayload(std::string(5000, 'z')));
  Client(i).Drain(1000);
  EXPECT_EQ(server.Clients[static_cast<size_t>(i)].BytesPending, static_cast<int32_t>(Client(i).pendingBytes()));
}

TEST_F(ClientServerTest, EveryClientGetsTheSameBufferAndAFailingOneCostsOthersNothing) {
  for (int n = 0; n < 3; ++n) Stream();
  Client(1).Fail("SendData", PlatformError(10054, "Connection reset by peer"));
  server.SendToClients(part);
  EXPECT_EQ(Client(0).lastSend[0].data(), part.data());
  EXPECT_EQ(Client(2).lastSend[0].data(), part.data());
  EXPECT_EQ(Client(1).State(), kStateClosed);
  EXPECT_TRUE(log.Contains("Winsock(1).Error: 10054 - Connection reset by peer"));
}

TEST_F(ClientServerTest, ClientErrorClosesOnlyThatClient) {
  Stream();
  Stream();
  Client(0).RaiseError(10054, "reset");
  EXPECT_EQ(Client(0).State(), kStateClosed);
  EXPECT_EQ(Client(1).State(), kStateConnected);
  EXPECT_TRUE(log.Contains("Winsock(0).Error: 10054 - reset"));
}

TEST_F(ClientServerTest, CloseConnectionOutsideTheTableDoesNothing) {
  server.CloseConnection(-1);
  server.CloseConnection(1);
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
  EXPECT_EQ(Listener().LocalPort(), 9000);
  EXPECT_EQ(Listener().State(), kStateListening);
}

}  // namespace
}  // namespace tavrik
