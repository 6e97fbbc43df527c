// TCP and UDP recorders and the text server on the fake platform.
#include <gtest/gtest.h>

#include "outputs/TcpRecorder.h"
#include "outputs/TextServer.h"
#include "outputs/UdpRecorder.h"
#include "platform/fake/FakePlatform.h"
#include "receipt/ReceiptText.h"
#include "support/LogCapture.h"

namespace tavrik {
namespace {

class OutputTest : public ::testing::Test {
 protected:
  void Deliver(Output& output, const std::string& text) {
    ReceiptText receipt{text, false};
    ReceiptRecord frame;
    frame.bytes = text;
    frame.text = &receipt;
    output.Deliver(frame);
  }
  static RecorderConfig Recorder(int32_t queue = 200) {
    RecorderConfig config;
    config.host = "nvr";
    config.port = 9000;
    config.queue = queue;
    return config;
  }

  test::LogCapture log{0};
  FakePlatform platform;
};

TEST_F(OutputTest, TcpRecorderConnectsAtOnceThenAtMostOnceASecond) {
  TcpRecorder recorder(platform, Recorder());
  FakeSocket& socket = *platform.Sockets().at(0);
  recorder.Start();
  EXPECT_EQ(socket.State(), SocketState::kConnecting);
  EXPECT_EQ(socket.connectHost, "nvr");
  EXPECT_EQ(socket.connectPort, 9000);
  socket.RaiseError(10061, "Connection refused");
  EXPECT_EQ(socket.State(), SocketState::kError);  // waits for the pacing span
  platform.Advance(999);
  EXPECT_EQ(socket.State(), SocketState::kError);
  platform.Advance(1);
  EXPECT_EQ(socket.State(), SocketState::kConnecting);
  socket.CompleteConnect();
  platform.Advance(5000);
  socket.PeerClose();  // the last attempt is long past: again at once
  EXPECT_EQ(socket.State(), SocketState::kConnecting);
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Recorder tcp nvr:9000 disconnected: Connection refused (10061)",
                                                      "Recorder tcp nvr:9000 connected.",
                                                      "Recorder tcp nvr:9000 disconnected: closed by the recorder"}));
}

TEST_F(OutputTest, TcpRecorderQueuesWhileDownDroppingTheOldestAndLogsTheOutageOnce) {
  TcpRecorder recorder(platform, Recorder(2));
  FakeSocket& socket = *platform.Sockets().at(0);
  recorder.Start();
  for (int attempt = 0; attempt < 3; ++attempt) {
    socket.RaiseError(10061, "Connection refused");
    platform.Advance(1000);
  }
  Deliver(recorder, "one\n");
  Deliver(recorder, "two\n");
  Deliver(recorder, "three\n");
  Deliver(recorder, " \n");  // nothing to show: not queued
  OutputCounters counters = recorder.Counters();
  EXPECT_FALSE(counters.connected);
  EXPECT_EQ(counters.queued, 2u);
  EXPECT_EQ(counters.dropped, 1u);
  socket.CompleteConnect();
  EXPECT_EQ(socket.sent, "two\r\nthree\r\n");
  socket.DrainAll();
  counters = recorder.Counters();
  EXPECT_TRUE(counters.connected);
  EXPECT_EQ(counters.queued, 0u);
  EXPECT_EQ(counters.sent, 2u);
  EXPECT_EQ(log.Count("Recorder tcp nvr:9000 disconnected: Connection refused (10061)"), 1u);
  EXPECT_EQ(log.Count("Recorder tcp nvr:9000 connected. 1 receipts dropped while disconnected."), 1u);
}

TEST_F(OutputTest, TcpRecorderHoldsReceiptsWhileTheRecorderReadsSlowly) {
  TcpRecorder recorder(platform, Recorder());
  FakeSocket& socket = *platform.Sockets().at(0);
  recorder.Start();
  socket.CompleteConnect();
  const std::string big(TcpRecorder::kMaxUnsentBytes, 'x');
  Deliver(recorder, big);
  Deliver(recorder, "next\n");
  EXPECT_EQ(socket.sendCalls, 1);
  EXPECT_EQ(recorder.Counters().queued, 2u);  // one waiting, one not yet acknowledged
  socket.DrainAll();
  EXPECT_EQ(socket.sendCalls, 2);
  EXPECT_EQ(socket.sent.substr(socket.sent.size() - 6), "next\r\n");
}

TEST_F(OutputTest, TcpRecorderCountsAcknowledgedReceiptsOnlyAndSendsTheOthersAgain) {
  TcpRecorder recorder(platform, Recorder());
  FakeSocket& socket = *platform.Sockets().at(0);
  recorder.Start();
  socket.CompleteConnect();
  Deliver(recorder, "one\n");
  Deliver(recorder, "two\n");
  socket.unacknowledged = 5;  // "two\r\n" left, with the kernel
  socket.DrainAll();
  Deliver(recorder, "three\n");
  const auto numbers = [&] {
    const OutputCounters c = recorder.Counters();
    return std::vector<uint64_t>{c.sent, c.queued, c.dropped};
  };
  EXPECT_EQ(numbers(), (std::vector<uint64_t>{1, 2, 0}));
  socket.RaiseError(104, "Connection reset by peer");
  EXPECT_EQ(numbers(), (std::vector<uint64_t>{1, 2, 0}));
  platform.Advance(TcpRecorder::kMinAttemptSpacingMs);
  socket.CompleteConnect();
  EXPECT_EQ(socket.sent, "one\r\ntwo\r\nthree\r\ntwo\r\nthree\r\n");
  socket.unacknowledged = 12;
  socket.DrainAll();
  EXPECT_EQ(numbers(), (std::vector<uint64_t>{1, 2, 0}));
  socket.unacknowledged = 0;  // acknowledged without a send event: the periodic check sees it
  platform.Advance(TcpRecorder::kAckCheckMs);
  EXPECT_EQ(numbers(), (std::vector<uint64_t>{3, 0, 0}));
}

TEST_F(OutputTest, ARecorderThatResetsEachConnectionIsOneOutageUntilAReceiptGetsThrough) {
  TcpRecorder recorder(platform, Recorder());
  FakeSocket& socket = *platform.Sockets().at(0);
  recorder.Start();
  Deliver(recorder, "one\n");
  for (int attempt = 0; attempt < 5; ++attempt) {
    socket.CompleteConnect();
    platform.Advance(10);
    socket.RaiseError(104, "Connection reset by peer");
    EXPECT_EQ(socket.State(), SocketState::kError);  // paced like a refused attempt
    platform.Advance(TcpRecorder::kMinAttemptSpacingMs - 10);
  }
  OutputCounters counters = recorder.Counters();
  EXPECT_FALSE(counters.connected);
  EXPECT_EQ(counters.sent, 0u);
  EXPECT_EQ(counters.queued, 1u);
  socket.CompleteConnect();
  socket.DrainAll();
  counters = recorder.Counters();
  EXPECT_TRUE(counters.connected);
  EXPECT_EQ(counters.sent, 1u);
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Recorder tcp nvr:9000 disconnected: Connection reset by peer (104)",
                                                      "Recorder tcp nvr:9000 connected."}));
}

TEST_F(OutputTest, UdpRecorderSendsOneDatagramPerReceiptCutAtLineEnds) {
  UdpRecorder recorder(platform, Recorder());
  FakeSocket& socket = *platform.Sockets().at(0);
  recorder.Start();
  EXPECT_TRUE(socket.udp);
  socket.CompleteConnect();  // the lookup of "nvr"
  Deliver(recorder, "short\n");
  const std::string line(UdpRecorder::kMaxDatagram - 10, 'y');
  Deliver(recorder, line + "\n" + line + "\n");
  ASSERT_EQ(socket.datagrams.size(), 3u);
  EXPECT_EQ(socket.datagrams[0], "short\r\n");
  EXPECT_EQ(socket.datagrams[1], line + "\r\n");
  EXPECT_EQ(socket.datagrams[2], line + "\r\n");
  EXPECT_EQ(recorder.Counters().sent, 2u);
}

TEST_F(OutputTest, TextServerSkipsWholeReceiptsForASlowReaderOnly) {
  TextServerConfig config;
  config.port = 9100;
  TextServer server(platform, config);
  server.Start();
  FakeSocket& listener = *platform.Sockets().at(0);
  EXPECT_EQ(listener.listenPort, 9100);
  EXPECT_EQ(listener.listenAddress, "");
  listener.RequestConnection("10.0.0.1");
  listener.RequestConnection("10.0.0.2");
  FakeSocket& slow = *platform.Sockets().at(1);
  FakeSocket& fast = *platform.Sockets().at(2);
  ASSERT_EQ(server.ReaderCount(), 2u);
  const std::string big(TextServer::kMaxUnsentBytes, 'x');
  Deliver(server, big);
  fast.DrainAll();
  Deliver(server, "second\n");
  fast.DrainAll();
  EXPECT_EQ(fast.sent, big + "\r\nsecond\r\n");
  EXPECT_EQ(slow.sent, big + "\r\n");
  EXPECT_EQ(server.Counters().dropped, 1u);
  EXPECT_EQ(server.Counters().sent, 3u);
  for (int i = 0; i < 7; ++i) listener.RequestConnection("10.0.0.9");
  EXPECT_EQ(server.ReaderCount(), TextServer::kMaxReaders);
  EXPECT_EQ(log.Count("Text server port 9100: reader refused, 8 connected already."), 1u);
  slow.PeerClose();  // perhaps gone for good: its place goes to the next reader
  listener.RequestConnection("10.0.0.10");
  EXPECT_EQ(slow.RemoteHost(), "10.0.0.10");
  EXPECT_EQ(log.Count("Text server port 9100: reader refused, 8 connected already."), 1u);
}

// The event thread never waits for a lookup, and a failing one is not
// repeated for every receipt.
TEST_F(OutputTest, UdpRecorderLooksItsHostUpAtMostOnceASecondWhileFailing) {
  UdpRecorder recorder(platform, Recorder());
  FakeSocket& socket = *platform.Sockets().at(0);
  recorder.Start();
  EXPECT_EQ(socket.State(), SocketState::kResolvingHost);
  Deliver(recorder, "during the lookup\n");
  socket.RaiseError(-3, "Temporary failure in name resolution");
  Deliver(recorder, "within the second\n");
  EXPECT_EQ(socket.lookups, 1);
  platform.Advance(UdpRecorder::kMinLookupSpacingMs);
  Deliver(recorder, "starts the next lookup\n");
  EXPECT_EQ(socket.lookups, 2);
  socket.CompleteConnect();
  Deliver(recorder, "sent\n");
  EXPECT_EQ(socket.datagrams, std::vector<std::string>{"sent\r\n"});
  EXPECT_EQ(recorder.Counters().dropped, 3u);
  EXPECT_EQ(log.Messages(),
            (std::vector<std::string>{"Recorder udp nvr:9000 cannot open: Temporary failure in name resolution",
                                      "Recorder udp nvr:9000 open."}));
}

// The listener comes back after a failed start and after an error later,
// each outage logged once; a reader that ended its side still gets receipts.
TEST_F(OutputTest, TextServerListensAgainAfterALossAndServesAHalfClosedReader) {
  TextServerConfig config;
  config.port = 9100;
  TextServer server(platform, config);
  FakeSocket& listener = *platform.Sockets().at(0);
  listener.Fail("Listen", PlatformError(10048, "Address in use"));
  server.Start();
  platform.Advance(RetryingListener::kFirstRetryMs);
  listener.StopFailing("Listen");
  EXPECT_FALSE(server.Counters().connected);
  platform.Advance(RetryingListener::kFirstRetryMs * 10);
  EXPECT_TRUE(server.Counters().connected);
  listener.RaiseError(10054, "Network down");
  platform.Advance(RetryingListener::kFirstRetryMs);
  EXPECT_TRUE(server.Counters().connected);

  listener.RequestConnection("10.0.0.1");
  FakeSocket& reader = *platform.Sockets().at(1);
  reader.PeerClose();
  Deliver(server, "after\n");
  EXPECT_EQ(reader.sent, "after\r\n");
  reader.RaiseError(32, "Broken pipe");
  EXPECT_EQ(server.ReaderCount(), 0u);
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                "Text server port 9100 cannot listen: Address in use",
                                "Text server port 9100 listening again.",
                                "Text server port 9100 listener error: Network down (10054)",
                                "Text server port 9100 listening again.",
                                "Text server port 9100: reader 10.0.0.1 connected.",
                                "Text server port 9100: reader 10.0.0.1 disconnected: closed by the reader"}));
}

}  // namespace
}  // namespace tavrik
