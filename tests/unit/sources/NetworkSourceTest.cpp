#include "sources/NetworkSource.h"

#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

class NetworkSourceTest : public test::RelayFixture {
 protected:
  NetworkSourceTest() {
    settings.peerHost = "192.0.2.7";
    settings.sourcePort = 9100;
  }
};

TEST_F(NetworkSourceTest, ClientModeOpensTheListenerOnlyOnceConnected) {
  Start();
  EXPECT_EQ(SourceSocket().connectHost, "192.0.2.7");
  EXPECT_EQ(SourceSocket().connectPort, 9100);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kSettingUp);
  EXPECT_EQ(Listener().State(), SocketState::kClosed);
  SourceSocket().CompleteConnect();
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  EXPECT_EQ(Listener().State(), SocketState::kListening);
  EXPECT_FALSE(Timeout().IsRunning());  // watchdog off
}

TEST_F(NetworkSourceTest, SilentPeerIsResetByTheWatchdogAfterThreeSeconds) {
  Start();
  platform.Advance(2999);
  EXPECT_EQ(log.Count("Reset. KillClients=True"), 1u);
  platform.Advance(1);
  EXPECT_EQ(log.Count("Reset. KillClients=True"), 2u);
}

TEST_F(NetworkSourceTest, DataIsDroppedUntilTheSourceIsReady) {
  Start();
  SourceSocket().Arrive("early");
  EXPECT_EQ(relay->Frames().Length(), 0);
  EXPECT_EQ(relay->Frames().ChunkCount(), 0);
  SourceSocket().CompleteConnect();
  SourceSocket().Arrive("");
  EXPECT_EQ(relay->Frames().ChunkCount(), 0);
  SourceSocket().Arrive("late");
  EXPECT_EQ(relay->Frames().Frame(), "late");
  EXPECT_EQ(relay->Frames().ChunkCount(), 1);
  EXPECT_TRUE(log.Contains("DataArrival 'late'"));
}

TEST_F(NetworkSourceTest, TextThenSilenceGivesOneFrameAfterTheFrameTimeout) {
  Start();
  SourceSocket().CompleteConnect();
  const int client = StreamingClient();
  platform.SimulatedClock().SetStartOfDay(1000);
  SourceSocket().Arrive("one ");
  platform.Advance(400);
  SourceSocket().Arrive("two");
  platform.Advance(499);
  EXPECT_TRUE(Bodies(Client(client)).empty());
  platform.Advance(1);
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"one two"});
  EXPECT_TRUE(log.Contains("Frame ready: 7 bytes. Frame info (StartTime EndTime EventCount): 1000 / 1000.4000244140625 / 2"));
}

TEST_F(NetworkSourceTest, FrameOfExactly40960IsSentAt40959Kept) {
  Start();
  SourceSocket().CompleteConnect();
  SourceSocket().Arrive(std::string(40959, 'a'));
  EXPECT_EQ(relay->Frames().Length(), 40959);
  SourceSocket().Arrive("b");
  EXPECT_EQ(relay->Frames().Length(), 0);
  EXPECT_TRUE(log.Contains("FrameBuffer exceeds maximum frame size."));
}

TEST_F(NetworkSourceTest, PeerCloseReconnectsAtOnceAndKeepsClients) {
  Start();
  SourceSocket().CompleteConnect();
  const int client = StreamingClient();
  platform.Advance(5000);
  SourceSocket().PeerClose();
  EXPECT_TRUE(log.Contains("SrcSock closed."));
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(SourceSocket().State(), SocketState::kConnecting);
  EXPECT_EQ(Client(client).State(), SocketState::kConnected);
}

TEST_F(NetworkSourceTest, RefusingPeerIsRetriedOncePerSecondNotInABusyLoop) {
  Start();
  SourceSocket().RaiseError(10061, "Connection refused");
  EXPECT_TRUE(log.Contains("SrcSock error: 10061 - Connection refused"));
  EXPECT_EQ(SourceSocket().State(), SocketState::kClosed);  // waits for its turn
  platform.Advance(999);
  EXPECT_FALSE(log.Contains("Reset. KillClients=False"));
  platform.Advance(1);
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(SourceSocket().State(), SocketState::kConnecting);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kSettingUp);
  for (int attempt = 0; attempt < 10; ++attempt) {
    SourceSocket().RaiseError(10061, "Connection refused");
    platform.Advance(1000);
  }
  EXPECT_EQ(log.Count("SrcSock error: 10061 - Connection refused"), 11u);
  EXPECT_EQ(log.Count("Reset. KillClients=True"), 1u);  // clients were never dropped
}

TEST_F(NetworkSourceTest, ShutdownForgetsAReconnectionThatWaits) {
  Start();
  SourceSocket().RaiseError(10061, "Connection refused");
  relay->Shutdown(ShutdownReason::kUser);
  platform.Advance(5000);
  EXPECT_FALSE(log.Contains("Reset. KillClients=False"));
}

TEST_F(NetworkSourceTest, FailedSetUpIsLoggedAndLeftToTheWatchdog) {
  Create();
  SourceSocket().Fail("Connect", PlatformError(11001, "Host not found"));
  Start();
  EXPECT_TRUE(log.Contains("Error at ReconnectTCP: 11001 - Host not found"));
  EXPECT_EQ(relay->RecoveryState(), Recovery::kSettingUp);
  EXPECT_EQ(relay->RetryDelayMs(), 0);
  platform.Advance(3000);
  EXPECT_EQ(log.Count("Error at ReconnectTCP: 11001 - Host not found"), 2u);
}

class ListenerSourceTest : public NetworkSourceTest {
 protected:
  ListenerSourceTest() {
    settings.peerHost.clear();
    settings.listen = true;
  }
  // The socket a waiting connection was accepted on: the newest one.
  FakeSocket& Newest() { return *platform.Sockets().back(); }
};

// Jobs sent back to back, as a POS or a print spooler does: the peers that
// come while one is served wait, each is served whole and in turn the moment
// the one before ends, and each is logged as the first is.
TEST_F(ListenerSourceTest, PeersThatComeMeanwhileWaitAndAreServedInTurnAtOnce) {
  settings.frameTimeoutMs = 0;
  Start();
  const int client = StreamingClient();
  EXPECT_EQ(SourceListener().State(), SocketState::kListening);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  SourceListener().RequestConnection("10.1.1.1");
  EXPECT_EQ(SourceSocket().State(), SocketState::kConnected);
  EXPECT_EQ(SourceSocket().RemoteHost(), "10.1.1.1");
  SourceSocket().Arrive("job A ");

  SourceListener().RequestConnection("10.1.1.2");
  FakeSocket& second = Newest();
  EXPECT_TRUE(second.readingPaused) << "a waiting peer is not read";
  second.Arrive("job B");
  SourceListener().RequestConnection("10.1.1.3");
  FakeSocket& third = Newest();
  third.Arrive("job C");
  third.PeerClose();  // a short job may be over before its turn
  EXPECT_EQ(relay->Frames().Frame(), "job A ") << "no bytes of a waiting peer are mixed in";
  EXPECT_EQ(log.Count("SrcSock connection request."), 1u);

  SourceSocket().Arrive("end");
  SourceSocket().PeerClose();
  EXPECT_EQ(SourceSocket().RemoteHost(), "10.1.1.2") << "served without waiting for a tick";
  EXPECT_FALSE(SourceSocket().readingPaused);
  SourceSocket().PeerClose();
  EXPECT_EQ(Bodies(Client(client)), (std::vector<std::string>{"job A end", "job B", "job C"}));
  EXPECT_EQ(SourceSocket().State(), SocketState::kClosed);
  EXPECT_EQ(SourceListener().listenCalls, 1) << "the listener never closed";
  EXPECT_EQ(Listener().listenCalls, 1) << "nor did the clients' listener: a client may be connecting";
  EXPECT_EQ(log.Count("SrcSock connection request."), 3u);
  EXPECT_EQ(log.Count("SrcSock closed."), 3u);
  EXPECT_EQ(log.Count("Reset. KillClients=False"), 3u);
  EXPECT_EQ(Client(client).State(), SocketState::kConnected);
}

TEST_F(ListenerSourceTest, AtMostEightPeersWaitOthersStayInTheBacklogAndAFailingPeerKeepsThePace) {
  Start();
  SourceListener().RequestConnection("10.1.1.1");
  for (size_t i = 0; i < WaitingConnections::kMaxWaiting; ++i) {
    EXPECT_FALSE(SourceListener().readingPaused);
    SourceListener().RequestConnection("10.1.1.9");
  }
  EXPECT_TRUE(SourceListener().readingPaused) << "the next ones wait in the kernel's backlog";
  SourceSocket().PeerClose();
  EXPECT_FALSE(SourceListener().readingPaused) << "one was served: one more is taken";

  // A peer that fails straight away is no clean end: the next waits for the pacing span.
  SourceSocket().RaiseError(10054, "Connection reset by peer");
  EXPECT_EQ(SourceSocket().State(), SocketState::kClosed);
  platform.Advance(999);
  EXPECT_EQ(SourceSocket().State(), SocketState::kClosed);
  platform.Advance(1);
  EXPECT_EQ(SourceSocket().State(), SocketState::kConnected);
  EXPECT_EQ(log.Count("SrcSock connection request."), 3u);
}

TEST_F(ListenerSourceTest, AWaitingPeerThatFailsIsLoggedInItsTurnAndTheClientsStay) {
  Start();
  const int client = StreamingClient();
  SourceListener().RequestConnection("10.1.1.1");
  SourceListener().RequestConnection("10.1.1.2");
  FakeSocket& waiting = Newest();
  waiting.Arrive("half a job");
  waiting.RaiseError(10054, "Connection reset by peer");
  EXPECT_FALSE(log.Contains("SrcSock error"));
  SourceSocket().PeerClose();
  EXPECT_EQ(log.Count("SrcSock error: 10054 - Connection reset by peer"), 1u);
  EXPECT_EQ(Bodies(Client(client)).back(), "half a job") << "what it sent is relayed";
  platform.Advance(1000);
  EXPECT_EQ(Client(client).State(), SocketState::kConnected);
  SourceListener().RequestConnection("10.1.1.3");
  EXPECT_EQ(SourceSocket().RemoteHost(), "10.1.1.3");
}

TEST_F(NetworkSourceTest, UdpReceiverBindsAndDatagramsJoinIntoOneFrame) {
  settings.protocol = NetworkProtocol::kUdp;
  settings.listen = true;
  Start();
  EXPECT_EQ(SourceSocket().boundPort, 9100);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  SourceSocket().Arrive("a");
  SourceSocket().Arrive("b");
  EXPECT_EQ(relay->Frames().Frame(), "ab");
  EXPECT_EQ(relay->Frames().ChunkCount(), 2);
}

TEST_F(NetworkSourceTest, UdpAddressedReceivesFromThePeerOnly) {
  settings.protocol = NetworkProtocol::kUdp;
  Start();
  EXPECT_TRUE(SourceSocket().udp);
  EXPECT_EQ(SourceSocket().connectHost, "192.0.2.7");
  EXPECT_EQ(SourceSocket().connectPort, 9100);
  EXPECT_EQ(SourceSocket().State(), SocketState::kOpen);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
}

}  // namespace
}  // namespace tavrik
