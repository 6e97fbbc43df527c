#include "controller/MainForm.h"

#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

using MainFormTest = test::RelayFixture;

const PlatformError kNoPort(8002, "Invalid port number");

// Times (ms) at which "Reset. KillClients=True" was logged, by advancing in 1 ms steps.
std::vector<int64_t> ResetTimes(test::RelayFixture& f, test::LogCapture& log, FakePlatform& platform,
                                int64_t until) {
  std::vector<int64_t> times;
  size_t seen = log.Count("Reset. KillClients=True");
  while (platform.NowMs() < until) {
    platform.Advance(500);
    const size_t now = log.Count("Reset. KillClients=True");
    if (now != seen) times.push_back(platform.NowMs());
    seen = now;
  }
  (void)f;
  return times;
}

TEST_F(MainFormTest, FirstStartOnAWorkingPortLogsInOrderAndListens) {
  Load();
  EXPECT_EQ(log.Messages(),
            (std::vector<std::string>{"Form loaded.", "Reset. KillClients=True", "CloseConnection(0)."}));
  EXPECT_EQ(form->RetryDelay(), 0);
  EXPECT_EQ(form->ResetPending(), 0);
  EXPECT_TRUE(Serial().PortOpen());
  EXPECT_EQ(Serial().CommPort(), 1);
  EXPECT_EQ(Serial().Settings(), "9600,n,8,1");
  EXPECT_EQ(ListenSock().State(), kStateListening);
  EXPECT_EQ(ListenSock().LocalPort(), 8147);
  EXPECT_TRUE(form->KeepAlive().Enabled());
}

TEST_F(MainFormTest, FailingPortIsRetriedAfterOneTenAndThenEveryFiftySeconds) {
  Create();
  Serial().failOpen = kNoPort;
  Load();
  EXPECT_TRUE(log.Contains("Reset error: 8002 - Invalid port number"));
  EXPECT_EQ(form->ResetPending(), 1);
  EXPECT_EQ(ListenSock().State(), kStateClosed);  // no client can connect meanwhile
  const auto times = ResetTimes(*this, log, platform, 200000);
  EXPECT_EQ(times, (std::vector<int64_t>{1000, 11000, 61000, 111000, 161000}));
}

TEST_F(MainFormTest, SuccessRestartsTheBackOffAtOneSecond) {
  Create();
  Serial().failOpen = kNoPort;
  Load();
  platform.Advance(1000);
  platform.Advance(10000);  // two failures: the next wait would be 50 s
  Serial().failOpen.reset();
  platform.Advance(50000);
  EXPECT_EQ(form->ResetPending(), 0);
  EXPECT_EQ(form->RetryDelay(), 0);
  Serial().failOpen = kNoPort;
  Serial().failInput = PlatformError(8015, "Port vanished");
  Serial().Receive("x");  // OnComm error -> Reset(true) -> open fails
  EXPECT_TRUE(log.Contains("OnComm error: 8015 - Port vanished"));
  EXPECT_EQ(form->RetryDelay(), 1000);
  EXPECT_EQ(Timeout().Interval(), 1000);
}

TEST_F(MainFormTest, ResetWithoutKillingKeepsClientsAndTheFrameInProgress) {
  Load();
  const int client = StreamingClient();
  form->Frames().AppendInput("abc");
  form->Frames().EventCount = 2;
  form->Frames().PendingCutPrefix = 1;
  form->Serial().ComStallCount = 2;
  form->Reset(false);
  EXPECT_EQ(Client(client).State(), kStateConnected);
  EXPECT_EQ(form->Frames().Frame(), "abc");
  EXPECT_EQ(form->Frames().EventCount, 2);
  EXPECT_EQ(form->Frames().FrameStartTime, -1);
  EXPECT_EQ(form->Frames().PendingCutPrefix, 0);
  EXPECT_EQ(form->Serial().ComStallCount, 0);
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
}

TEST_F(MainFormTest, ResetKillingClientsDropsTheFrameAndClosesEveryClient) {
  Load();
  const int streaming = StreamingClient();
  ListenSock().RequestConnection("waiting");
  form->Frames().AppendInput("partial");
  form->Reset(true);
  EXPECT_EQ(Client(streaming).State(), kStateClosed);
  EXPECT_EQ(Client(1).State(), kStateClosed);
  EXPECT_EQ(form->Frames().FrameLength(), 0);
  EXPECT_TRUE(Bodies(Client(streaming)).empty());
}

TEST_F(MainFormTest, TimeoutSendsTheFrameWhenRunningAndResetsWhenPending) {
  Load();
  const int client = StreamingClient();
  form->Frames().AppendInput("frame");
  EXPECT_EQ(form->ResetPending(), 0);
  Timeout().SetInterval(500);
  Timeout().SetEnabled(true);
  platform.Advance(500);
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"frame"});
  EXPECT_FALSE(Timeout().Enabled());  // one-shot

  form->Frames().AppendInput("dropped");
  Serial().failOpen = kNoPort;
  form->Reset(false);  // fails: ResetPending 1, retry armed
  ASSERT_EQ(form->ResetPending(), 1);
  platform.Advance(1000);
  EXPECT_EQ(log.Count("Reset. KillClients=True"), 2u);
  EXPECT_EQ(Bodies(Client(client)).size(), 1u);
}

TEST_F(MainFormTest, TickQueuedAfterTheTimerWasStoppedIsIgnored) {
  Load();
  const int client = StreamingClient();
  form->Frames().AppendInput("frame");
  Timeout().SetEnabled(false);
  Timeout().Fire();
  EXPECT_TRUE(Bodies(Client(client)).empty());
}

TEST_F(MainFormTest, UnloadClosesEverythingAndTheControllerLogsItsEnd) {
  Load();
  const int client = StreamingClient();
  form->UnloadRequest(0);
  EXPECT_TRUE(log.Contains("Application Unload request. Unload Mode = 0"));
  EXPECT_EQ(ListenSock().State(), kStateClosed);
  EXPECT_EQ(Client(client).State(), kStateClosed);
  EXPECT_FALSE(Serial().PortOpen());
  EXPECT_FALSE(form->KeepAlive().Enabled());
  EXPECT_FALSE(Timeout().Enabled());
  form.reset();
  EXPECT_EQ(log.Messages().back(), "Process terminated.");
}

TEST_F(MainFormTest, ListenWithoutRemotePortUsesTheSerialPort) {
  settings.SrcListen = true;
  Load();
  EXPECT_TRUE(Serial().PortOpen());
  EXPECT_EQ(SrcSock().listenCalls, 0);
}

TEST_F(MainFormTest, NetworkWinsOverTheFileSource) {
  settings.RemoteAddress = "127.0.0.1";
  settings.RemotePort = 9100;
  settings.SourceFile = "/spool/receipts.txt";
  Load();
  EXPECT_EQ(SrcSock().connectPort, 9100);
  EXPECT_FALSE(Serial().PortOpen());
  EXPECT_EQ(Serial().openCount, 0);
}

// --- keep-alive and watchdog ---

TEST_F(MainFormTest, KeepAlivePartOnEveryThirdTickAcrossTheDailyWrap) {
  Load();
  const int client = StreamingClient();
  platform.Advance(2000);
  EXPECT_TRUE(Client(client).sent.empty());
  platform.Advance(1000);
  ASSERT_EQ(Bodies(Client(client), "text/keepalive").size(), 1u);
  EXPECT_EQ(Bodies(Client(client), "text/keepalive")[0].size(), 19u);  // YYYY-MM-DD HH:MM:SS
  for (int tick = 3; tick < 86400; tick += 3) {  // a client that keeps up
    Client(client).DrainAll();
    platform.Advance(3000);
  }
  EXPECT_EQ(form->KeepAliveTicks(), 0);  // 86400 ticks: wrapped
  EXPECT_EQ(Bodies(Client(client), "text/keepalive").size(), 28800u);
  platform.Advance(3000);
  EXPECT_EQ(Bodies(Client(client), "text/keepalive").size(), 28801u);
}

TEST_F(MainFormTest, OneWaitingCharacterNeverCountsAsAStall) {
  Load();
  Serial().Receive("x", false);
  platform.Advance(10000);
  EXPECT_EQ(form->Serial().ComStallCount, 0);
}

TEST_F(MainFormTest, ThirdStalledTickDrainsThePortAndResetsKeepingClients) {
  Load();
  const int client = StreamingClient();
  Serial().Receive("stalled", false);
  platform.Advance(2000);
  EXPECT_TRUE(log.Contains("ERROR: Com port buffer is not empty 1 times in a row"));
  EXPECT_TRUE(log.Contains("ERROR: Com port buffer is not empty 2 times in a row"));
  EXPECT_EQ(Serial().InBufferCount(), 7);  // ticks 1 and 2 only log
  platform.Advance(1000);
  EXPECT_TRUE(log.Contains("ERROR: Com port buffer is not empty 3 times in a row"));
  EXPECT_EQ(Serial().InBufferCount(), 0);  // drained by the watchdog
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(Client(client).State(), kStateConnected);
  EXPECT_EQ(form->Frames().Frame(), "stalled");
  EXPECT_EQ(form->Serial().ComStallCount, 0);
}

TEST_F(MainFormTest, ReadBetweenStalledTicksRestartsTheCount) {
  Load();
  Serial().Receive("ab", false);
  platform.Advance(2000);  // stalls 1 and 2
  Serial().Notify();       // the source reads
  Serial().Receive("cd", false);
  platform.Advance(1000);
  EXPECT_EQ(log.Count("ERROR: Com port buffer is not empty 1 times in a row"), 2u);
  EXPECT_FALSE(log.Contains("ERROR: Com port buffer is not empty 3 times in a row"));
}

TEST_F(MainFormTest, TickWithAStopRequestDoesNothingElse) {
  Load();
  const int client = StreamingClient();
  platform.Advance(2000);
  service.stop = true;
  platform.Advance(1000);
  EXPECT_EQ(service.stops, 1);
  EXPECT_EQ(form->KeepAliveTicks(), 2);
  EXPECT_TRUE(Client(client).sent.empty());
}

}  // namespace
}  // namespace tavrik
