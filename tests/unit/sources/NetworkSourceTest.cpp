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

TEST_F(NetworkSourceTest, ListenerServesOnePeerByAcceptingOnItself) {
  settings.peerHost.clear();
  settings.listen = true;
  Start();
  EXPECT_EQ(SourceSocket().State(), SocketState::kListening);
  EXPECT_EQ(SourceSocket().listenPort, 9100);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  SourceSocket().RequestConnection("10.1.1.1");
  EXPECT_TRUE(log.Contains("SrcSock connection request."));
  EXPECT_EQ(SourceSocket().State(), SocketState::kConnected);
  SourceSocket().Arrive("data");
  EXPECT_EQ(relay->Frames().Frame(), "data");
}

TEST_F(NetworkSourceTest, FailedAcceptResetsTheSourceKeepingClients) {
  settings.listen = true;
  Start();
  const int client = StreamingClient();
  SourceSocket().Fail("Accept", PlatformError(10053, "aborted"));
  SourceSocket().RequestConnection("10.1.1.1");
  EXPECT_TRUE(log.Contains("SrcSock error: 10053 - aborted"));
  platform.Advance(1000);
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(Client(client).State(), SocketState::kConnected);
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
