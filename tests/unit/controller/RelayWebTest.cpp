#include <gtest/gtest.h>

#include "controller/Relay.h"
#include "support/RelayFixture.h"

namespace tavrik {
namespace {

using RelayWebTest = test::RelayFixture;

TEST_F(RelayWebTest, WithoutTheWebPortNothingIsDecodedAndNoSocketAdded) {
  Start();
  EXPECT_EQ(relay->Web(), nullptr);
  const size_t sockets = platform.Sockets().size();
  settings.frameTimeoutMs = 0;
  Serial().Receive("receipt\n");
  relay->Frames().SendFrame();
  EXPECT_EQ(relay->Frames().FramesSent(), 1);
  EXPECT_EQ(relay->Frames().BytesSent(), 8);
  EXPECT_EQ(platform.Sockets().size(), sockets);
}

TEST_F(RelayWebTest, FramesReachTheViewersAsTextAndTheStatusDescribesTheRelay) {
  settings.webAddress = "127.0.0.1";
  settings.webPort = 8080;
  settings.logLevel = 3;
  Start();
  ASSERT_NE(relay->Web(), nullptr);
  FakeSocket& webListener = *platform.Sockets().back();
  EXPECT_EQ(webListener.State(), SocketState::kListening);
  EXPECT_EQ(webListener.listenAddress, "127.0.0.1");
  EXPECT_EQ(webListener.listenPort, 8080);
  webListener.RequestConnection("127.0.0.1");
  FakeSocket& viewer = *platform.Sockets().back();
  viewer.Arrive("GET /receipts HTTP/1.1\r\n\r\n");
  const int client = StreamingClient();

  Serial().Receive("\x1bt\x13\xd5 9.99\n");
  relay->Frames().SendFrame();
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"\x1bt\x13\xd5 9.99\n"});  // untouched
  EXPECT_EQ(relay->Web()->Status().lastFrameTime, platform.GetClock().LocalDateTimeText());
  const size_t before = viewer.sent.size();
  platform.Advance(ReceiptPipeline::kDelayMs - 1);
  EXPECT_EQ(viewer.sent.size(), before);  // the clients first, the viewers a moment later
  platform.Advance(1);
  EXPECT_NE(viewer.sent.find("\"bytes\":10,\"cut\":false,\"text\":\"\xE2\x82\xAC 9.99\\n\",\"epochMs\":"),
            std::string::npos);

  platform.Advance(2 * Relay::kKeepAliveTickMs);
  const RelayStatus status = relay->Web()->Status();
  EXPECT_EQ(status.sourceKind, "serial");
  EXPECT_EQ(status.sourceState, "port open");
  EXPECT_EQ(status.sourcePeer, "COM1");
  EXPECT_EQ(status.framesRelayed, 1);
  EXPECT_EQ(status.bytesRelayed, 10);
  EXPECT_EQ(status.clientsConnected, 1);
  EXPECT_EQ(status.webConnections, 1);
  EXPECT_EQ(status.uptimeSeconds, 2);
  EXPECT_EQ(status.logLevel, 3);
  EXPECT_EQ(status.printerStatus, "unknown");

  relay->Shutdown(ShutdownReason{});
  EXPECT_EQ(webListener.State(), SocketState::kClosed);
  EXPECT_EQ(viewer.State(), SocketState::kClosed);
}

// A web port it cannot have (taken, or the client port) is tried again with
// the client port's back-off, while the relay goes on: logged once when lost
// and once when listening. Each round shows one try: not before it is due.
TEST_F(RelayWebTest, AWebPortThatCannotListenIsRetriedWhileTheRelayGoesOn) {
  settings.webPort = 8080;
  int64_t previous = 0;
  size_t round = 0;
  for (const int64_t due : {1000, 11000, 61000, 111000}) {  // after 1 s, 10 s, then every 50 s
    ++round;
    relay.reset();
    Create();
    FakeSocket& webListener = *platform.Sockets().back();
    webListener.Fail("Listen", PlatformError(10048, "Address in use"));
    Start();
    EXPECT_EQ(Listener().State(), SocketState::kListening);
    EXPECT_EQ(relay->Web()->Status().webPort, "retrying");
    platform.Advance(previous + 1);
    webListener.StopFailing("Listen");
    platform.Advance(due - previous - 2);
    EXPECT_EQ(webListener.State(), SocketState::kClosed) << due;
    platform.Advance(1);
    EXPECT_EQ(webListener.State(), SocketState::kListening) << due;
    EXPECT_EQ(relay->Web()->Status().webPort, "listening");
    EXPECT_EQ(log.Count("Web port error: 10048 - Address in use"), round);
    EXPECT_EQ(log.Count("Web port listening on *:8080."), round);
    previous = due;
  }

  // A listener that fails later is opened again after the first delay.
  FakeSocket& webListener = *platform.Sockets().back();
  webListener.RaiseError(10050, "Network is down");
  EXPECT_EQ(relay->Web()->Status().webPort, "retrying");
  platform.Advance(WebListener::kFirstRetryMs);
  EXPECT_EQ(webListener.State(), SocketState::kListening);
}

}  // namespace
}  // namespace tavrik
