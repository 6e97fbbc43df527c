#include "controller/Relay.h"

#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

using RelayTest = test::RelayFixture;

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

TEST_F(RelayTest, FirstStartOnAWorkingPortLogsInOrderAndListens) {
  Start();
  EXPECT_EQ(log.Messages(),
            (std::vector<std::string>{"Form loaded.", "Reset. KillClients=True", "CloseConnection(0)."}));
  EXPECT_EQ(relay->RetryDelayMs(), 0);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  EXPECT_TRUE(Serial().IsOpen());
  EXPECT_EQ(Serial().Number(), 1);
  EXPECT_EQ(Serial().LineSettings(), "9600,n,8,1");
  EXPECT_EQ(Listener().State(), SocketState::kListening);
  EXPECT_EQ(Listener().listenPort, 8147);
  EXPECT_TRUE(KeepAlive().IsRunning());
}

TEST_F(RelayTest, FailingPortIsRetriedAfterOneTenAndThenEveryFiftySeconds) {
  Create();
  Serial().failOpen = kNoPort;
  Start();
  EXPECT_TRUE(log.Contains("Reset error: 8002 - Invalid port number"));
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRetryPending);
  EXPECT_EQ(Listener().State(), SocketState::kClosed);  // no client can connect meanwhile
  const auto times = ResetTimes(*this, log, platform, 200000);
  EXPECT_EQ(times, (std::vector<int64_t>{1000, 11000, 61000, 111000, 161000}));
}

TEST_F(RelayTest, SuccessRestartsTheBackOffAtOneSecond) {
  Create();
  Serial().failOpen = kNoPort;
  Start();
  platform.Advance(1000);
  platform.Advance(10000);  // two failures: the next wait would be 50 s
  Serial().failOpen.reset();
  platform.Advance(50000);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  EXPECT_EQ(relay->RetryDelayMs(), 0);
  Serial().failOpen = kNoPort;
  Serial().failRead = PlatformError(8015, "Port vanished");
  Serial().Receive("x");  // the read fails: restart dropping the clients, whose open fails
  EXPECT_TRUE(log.Contains("OnComm error: 8015 - Port vanished"));
  EXPECT_EQ(relay->RetryDelayMs(), 1000);
  EXPECT_EQ(Timeout().IntervalMs(), 1000);
}

TEST_F(RelayTest, RestartKeepingClientsKeepsTheFrameButForgetsItsStartAndAHalfCut) {
  settings.cutDetection = true;
  Start();
  const int client = StreamingClient();
  platform.SimulatedClock().SetStartOfDay(100);
  Serial().Receive("abc\x1b");
  relay->RestartSource(false);
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(Client(client).State(), SocketState::kConnected);
  Serial().Receive("i");  // would complete ESC "i" had the restart kept the ESC
  EXPECT_EQ(relay->Frames().Frame(), "abc\x1bi");
  platform.Advance(500);
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"abc\x1bi"});
  EXPECT_TRUE(log.Contains("Frame ready: 5 bytes. Frame info (StartTime EndTime EventCount): -1 / 100 / 2"));
}

TEST_F(RelayTest, ResetKillingClientsDropsTheFrameAndClosesEveryClient) {
  Start();
  const int streaming = StreamingClient();
  Listener().RequestConnection("waiting");
  relay->Frames().Append("partial");
  relay->RestartSource(true);
  EXPECT_EQ(Client(streaming).State(), SocketState::kClosed);
  EXPECT_EQ(Client(1).State(), SocketState::kClosed);
  EXPECT_EQ(relay->Frames().Length(), 0);
  EXPECT_TRUE(Bodies(Client(streaming)).empty());
}

TEST_F(RelayTest, TimeoutSendsTheFrameWhenRunningAndResetsWhenPending) {
  Start();
  const int client = StreamingClient();
  relay->Frames().Append("frame");
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  Timeout().Start(500);
  platform.Advance(500);
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"frame"});
  EXPECT_FALSE(Timeout().IsRunning());  // one-shot

  relay->Frames().Append("dropped");
  Serial().failOpen = kNoPort;
  relay->RestartSource(false);  // fails: a retry is armed
  ASSERT_EQ(relay->RecoveryState(), Recovery::kRetryPending);
  platform.Advance(1000);
  EXPECT_EQ(log.Count("Reset. KillClients=True"), 2u);
  EXPECT_EQ(Bodies(Client(client)).size(), 1u);
}

TEST_F(RelayTest, TickQueuedAfterTheTimerWasStoppedIsIgnored) {
  Start();
  const int client = StreamingClient();
  relay->Frames().Append("frame");
  Timeout().Stop();
  Timeout().Fire();
  EXPECT_TRUE(Bodies(Client(client)).empty());
}

TEST_F(RelayTest, ShutdownClosesEverythingAndTheRelayLogsItsEnd) {
  Start();
  const int client = StreamingClient();
  relay->Shutdown(ShutdownReason::kUser);
  EXPECT_TRUE(log.Contains("Application Unload request. Unload Mode = 0"));
  EXPECT_EQ(Listener().State(), SocketState::kClosed);
  EXPECT_EQ(Client(client).State(), SocketState::kClosed);
  EXPECT_FALSE(Serial().IsOpen());
  EXPECT_FALSE(KeepAlive().IsRunning());
  EXPECT_FALSE(Timeout().IsRunning());
  relay.reset();
  EXPECT_EQ(log.Messages().back(), "Process terminated.");
}

TEST_F(RelayTest, ListenWithoutRemotePortUsesTheSerialPort) {
  settings.listen = true;
  Start();
  EXPECT_TRUE(Serial().IsOpen());
  EXPECT_EQ(SourceSocket().listenCalls, 0);
}

TEST_F(RelayTest, NetworkWinsOverTheFileSource) {
  settings.peerHost = "127.0.0.1";
  settings.sourcePort = 9100;
  settings.spoolFile = "/spool/receipts.txt";
  Start();
  EXPECT_EQ(SourceSocket().connectPort, 9100);
  EXPECT_FALSE(Serial().IsOpen());
  EXPECT_EQ(Serial().openCount, 0);
}

// --- keep-alive and watchdog ---

TEST_F(RelayTest, KeepAlivePartOnEveryThirdTick) {
  Start();
  const int client = StreamingClient();
  platform.Advance(2000);
  EXPECT_TRUE(Client(client).sent.empty());
  platform.Advance(1000);
  ASSERT_EQ(Bodies(Client(client), "text/keepalive").size(), 1u);
  EXPECT_EQ(Bodies(Client(client), "text/keepalive")[0], "2026-12-07 12:00:03");
  platform.Advance(5000);
  EXPECT_EQ(Bodies(Client(client), "text/keepalive").size(), 2u);
  platform.Advance(1000);
  EXPECT_EQ(Bodies(Client(client), "text/keepalive").size(), 3u);
}

TEST_F(RelayTest, OneWaitingCharacterNeverCountsAsAStall) {
  Start();
  Serial().Receive("x", false);
  platform.Advance(10000);
  EXPECT_FALSE(log.Contains("ERROR: Com port buffer is not empty 1 times in a row"));
}

TEST_F(RelayTest, ThirdStalledTickDrainsThePortAndResetsKeepingClients) {
  Start();
  const int client = StreamingClient();
  Serial().Receive("stalled", false);
  platform.Advance(2000);
  EXPECT_TRUE(log.Contains("ERROR: Com port buffer is not empty 1 times in a row"));
  EXPECT_TRUE(log.Contains("ERROR: Com port buffer is not empty 2 times in a row"));
  EXPECT_EQ(Serial().BytesWaiting(), 7);  // ticks 1 and 2 only log
  platform.Advance(1000);
  EXPECT_TRUE(log.Contains("ERROR: Com port buffer is not empty 3 times in a row"));
  EXPECT_EQ(Serial().BytesWaiting(), 0);  // drained by the watchdog
  EXPECT_TRUE(log.Contains("Reset. KillClients=False"));
  EXPECT_EQ(Client(client).State(), SocketState::kConnected);
  EXPECT_EQ(relay->Frames().Frame(), "stalled");
  Serial().Receive("again", false);  // the count starts over after the restart
  platform.Advance(1000);
  EXPECT_EQ(log.Count("ERROR: Com port buffer is not empty 1 times in a row"), 2u);
}

TEST_F(RelayTest, ReadBetweenStalledTicksRestartsTheCount) {
  Start();
  Serial().Receive("ab", false);
  platform.Advance(2000);  // stalls 1 and 2
  Serial().Notify();       // the source reads
  Serial().Receive("cd", false);
  platform.Advance(1000);
  EXPECT_EQ(log.Count("ERROR: Com port buffer is not empty 1 times in a row"), 2u);
  EXPECT_FALSE(log.Contains("ERROR: Com port buffer is not empty 3 times in a row"));
}

TEST_F(RelayTest, TickWithAStopRequestDoesNothingElse) {
  Start();
  const int client = StreamingClient();
  platform.Advance(2000);
  service.stop = true;
  platform.Advance(1000);
  EXPECT_EQ(service.stops, 1);
  EXPECT_TRUE(Client(client).sent.empty());
  service.stop = false;  // the stop tick did not count: the next one is the third
  platform.Advance(1000);
  EXPECT_EQ(Bodies(Client(client), "text/keepalive").size(), 1u);
}

// --- service manager and idle memory ---

TEST_F(RelayTest, EveryTickPingsAndTheStatusIsSentOnlyWhenItChanges) {
  settings.spoolFile = "/spool/receipt.prn";
  Start();
  platform.Advance(3000);
  EXPECT_EQ(service.heartbeats, 3);
  EXPECT_EQ(service.statuses, std::vector<std::string>{"Relaying spool file /spool/receipt.prn to 0 clients"});
  StreamingClient();
  platform.Advance(1000);
  EXPECT_EQ(service.statuses.back(), "Relaying spool file /spool/receipt.prn to 1 client");
  EXPECT_EQ(service.statuses.size(), 2u);
}

TEST_F(RelayTest, MemoryIsGivenBackEveryFiveTicksWithoutAFrame) {
  Start();
  platform.Advance(4000);
  Serial().Receive("frame");
  platform.Advance(1000);  // the frame goes out after 500 ms: the count starts over
  EXPECT_EQ(platform.memoryReturns, 0);
  platform.Advance(4000);
  EXPECT_EQ(platform.memoryReturns, 1);
  platform.Advance(5000);
  EXPECT_EQ(platform.memoryReturns, 2);
}

TEST(RelayStatusTest, DescribesEachSourceAndRecovery) {
  Settings settings;
  EXPECT_EQ(DescribeRelayState(settings, {Recovery::kRetryPending, false, 10000, 0}),
            "Serial port COM1 cannot be opened, retrying in 10 s");
  settings.peerHost = "10.1.2.3";
  settings.sourcePort = 4000;
  EXPECT_EQ(DescribeRelayState(settings, {Recovery::kSettingUp, false, 0, 2}), "Setting up TCP peer 10.1.2.3:4000");
  settings.listen = true;
  settings.protocol = NetworkProtocol::kUdp;
  EXPECT_EQ(DescribeRelayState(settings, {Recovery::kRunning, false, 0, 31}), "Relaying UDP port 4000 to 31 clients");
  EXPECT_EQ(DescribeRelayState(settings, {Recovery::kRetryPending, true, 1000, 0}),
            "Client port 8147 cannot be opened, retrying in 1 s");
}

}  // namespace
}  // namespace tavrik

namespace tavrik {
namespace {

class TextListener : public ReceiptListener {
 public:
  void OnReceipt(const ReceiptRecord& receipt) override {
    lines.push_back(std::to_string(receipt.sequence) + " " + receipt.text->text + "|" + std::string(receipt.bytes));
  }
  std::vector<std::string> lines;
};

using RelayListenerTest = test::RelayFixture;

TEST_F(RelayListenerTest, ACommandCutOffByASourceRestartDoesNotSwallowTheNextStream) {
  TextListener listener;
  Create();
  relay->AddReceiptListener(listener);
  Start();
  relay->Frames().Append("A\x1b");  // ESC, its command byte never sent
  relay->Frames().SendFrame();
  relay->RestartSource(false);
  relay->Frames().Append("!B");  // after ESC, "!" would take "B" as its parameter
  relay->Frames().SendFrame();
  platform.Advance(ReceiptPipeline::kDelayMs);
  EXPECT_EQ(listener.lines, (std::vector<std::string>{"1 A|A\x1b", "2 !B|!B"}));
}

}  // namespace
}  // namespace tavrik
