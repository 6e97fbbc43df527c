#include "sources/NetworkSource.h"

#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

class NetworkSourceTest : public test::RelayFixture {
 protected:
  NetworkSourceTest() {
    settings.RemoteAddress = "192.0.2.7";
    settings.RemotePort = 9100;
  }
};

TEST_F(NetworkSourceTest, ClientModeOpensTheListenerOnlyOnceConnected) {
  Load();
  EXPECT_EQ(SrcSock().connectHost, "192.0.2.7");
  EXPECT_EQ(SrcSock().connectPort, 9100);
  EXPECT_EQ(form->ResetPending(), 2);
  EXPECT_EQ(ListenSock().State(), kStateClosed);
  SrcSock().CompleteConnect();
  EXPECT_EQ(form->ResetPending(), 0);
  EXPECT_EQ(ListenSock().State(), kStateListening);
  EXPECT_FALSE(Timeout().Enabled());  // watchdog off
}

TEST_F(NetworkSourceTest, SilentPeerIsResetByTheWatchdogAfterThreeSeconds) {
  Load();
  platform.Advance(2999);
  EXPECT_EQ(log.Count("Reset. KillClients=True"), 1u);
  platform.Advance(1);
  EXPECT_EQ(log.Count("Reset. KillClients=True"), 2u);
}

TEST_F(NetworkSourceTest, DataIsDroppedUntilTheSourceIsReady) {
  Load();
  SrcSock().Arrive("early");
  EXPECT_EQ(form->Frames().FrameLength(), 0);
  EXPECT_EQ(form->Frames().EventCount, 0);
  SrcSock().CompleteConnect();
  SrcSock().Arrive("");
  EXPECT_EQ(form->Frames().EventCount, 0);
  SrcSock().Arrive("late");
  EXPECT_EQ(form->Frames().Frame(), "late");
  EXPECT_EQ(form->Frames().EventCount, 1);
  EXPECT_TRUE(log.Contains("DataArrival 'late'"));
}

TEST_F(NetworkSourceTest, TextThenSilenceGivesOneFrameAfterTheFrameTimeout) {
  Load();
  SrcSock().CompleteConnect();
  const int client = StreamingClient();
  platform.SimulatedClock().SetStartOfDay(1000);
  SrcSock().Arrive("one ");
  platform.Advance(400);
  SrcSock().Arrive("two");
  platform.Advance(499);
  EXPECT_TRUE(Bodies(Client(client)).empty());
  platform.Advance(1);
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"one two"});
  EXPECT_TRUE(log.Contains("Frame ready: 7 bytes. Frame info (StartTime EndTime EventCount): 1000 / 1000.4000244140625 / 2"));
}

TEST_F(NetworkSourceTest, FrameOfExactly40960IsSentAt40959Kept) {
  Load();
  SrcSock().CompleteConnect();
  SrcSock().Arrive(std::string(40959, 'a'));
  EXPECT_EQ(form->Frames().FrameLength(), 40959);
  SrcSock().Arrive("b");
  EXPECT_EQ(form->Frames().FrameLength(), 0);
  EXPECT_TRUE(log.Contains("FrameBuffer exceeds maximum frame size."));
}

TEST_F(NetworkSourceTest, PeerCloseReconnectsAtOnceAndKeepsClients) {
  Load();
  SrcSock().CompleteConnect();
  const int client = StreamingClient();
  platform.Advance(5000);
  SrcSock().PeerClose();
  EXPECT_TRUE(log.Contains("SrcSock closed."));
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(SrcSock().State(), kStateConnecting);
  EXPECT_EQ(Client(client).State(), kStateConnected);
}

TEST_F(NetworkSourceTest, RefusingPeerIsRetriedOncePerSecondNotInABusyLoop) {
  Load();
  SrcSock().RaiseError(10061, "Connection refused");
  EXPECT_TRUE(log.Contains("SrcSock error: 10061 - Connection refused"));
  EXPECT_EQ(SrcSock().State(), kStateClosed);  // waits for its turn
  platform.Advance(999);
  EXPECT_FALSE(log.Contains("Reset. KillClients=False"));
  platform.Advance(1);
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(SrcSock().State(), kStateConnecting);
  EXPECT_EQ(form->ResetPending(), 2);
  for (int attempt = 0; attempt < 10; ++attempt) {
    SrcSock().RaiseError(10061, "Connection refused");
    platform.Advance(1000);
  }
  EXPECT_EQ(log.Count("SrcSock error: 10061 - Connection refused"), 11u);
  EXPECT_EQ(log.Count("Reset. KillClients=True"), 1u);  // clients were never dropped
}

TEST_F(NetworkSourceTest, UnloadForgetsAReconnectionThatWaits) {
  Load();
  SrcSock().RaiseError(10061, "Connection refused");
  form->UnloadRequest(0);
  platform.Advance(5000);
  EXPECT_FALSE(log.Contains("Reset. KillClients=False"));
}

TEST_F(NetworkSourceTest, FailedSetUpIsLoggedAndLeftToTheWatchdog) {
  Create();
  SrcSock().Fail("Connect", PlatformError(11001, "Host not found"));
  Load();
  EXPECT_TRUE(log.Contains("Error at ReconnectTCP: 11001 - Host not found"));
  EXPECT_EQ(form->ResetPending(), 2);
  EXPECT_EQ(form->RetryDelay(), 0);
  platform.Advance(3000);
  EXPECT_EQ(log.Count("Error at ReconnectTCP: 11001 - Host not found"), 2u);
}

TEST_F(NetworkSourceTest, ListenerServesOnePeerByAcceptingOnItself) {
  settings.RemoteAddress.clear();
  settings.SrcListen = true;
  Load();
  EXPECT_EQ(SrcSock().State(), kStateListening);
  EXPECT_EQ(SrcSock().LocalPort(), 9100);
  EXPECT_EQ(form->ResetPending(), 0);
  SrcSock().RequestConnection("10.1.1.1");
  EXPECT_TRUE(log.Contains("SrcSock connection request."));
  EXPECT_EQ(SrcSock().State(), kStateConnected);
  SrcSock().Arrive("data");
  EXPECT_EQ(form->Frames().Frame(), "data");
}

TEST_F(NetworkSourceTest, FailedAcceptResetsTheSourceKeepingClients) {
  settings.SrcListen = true;
  Load();
  const int client = StreamingClient();
  SrcSock().Fail("Accept", PlatformError(10053, "aborted"));
  SrcSock().RequestConnection("10.1.1.1");
  EXPECT_TRUE(log.Contains("SrcSock error: 10053 - aborted"));
  platform.Advance(1000);
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(Client(client).State(), kStateConnected);
}

TEST_F(NetworkSourceTest, UdpReceiverBindsAndDatagramsJoinIntoOneFrame) {
  settings.SrcProtocol = 1;
  settings.SrcListen = true;
  Load();
  EXPECT_EQ(SrcSock().boundPort, 9100);
  EXPECT_EQ(form->ResetPending(), 0);
  SrcSock().Arrive("a");
  SrcSock().Arrive("b");
  EXPECT_EQ(form->Frames().Frame(), "ab");
  EXPECT_EQ(form->Frames().EventCount, 2);
}

TEST_F(NetworkSourceTest, UdpAddressedNamesThePeerOnlyAndOtherProtocolsMeanTcp) {
  settings.SrcProtocol = 1;
  Load();
  EXPECT_EQ(SrcSock().RemoteHost(), "192.0.2.7");
  EXPECT_EQ(SrcSock().RemotePort(), 9100);
  EXPECT_EQ(SrcSock().boundPort, 0);
  EXPECT_EQ(SrcSock().State(), kStateOpen);
  form.reset();

  settings.SrcProtocol = 2;
  Load();
  EXPECT_EQ(SrcSock().Protocol(), kTcp);
  EXPECT_EQ(SrcSock().connectPort, 9100);
}

}  // namespace
}  // namespace tavrik
