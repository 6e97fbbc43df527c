// The network and serial sources as a printer's stand-in or tap: -o, -v, and
// the frame sent when the peer's connection ends.
#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

class PrinterTapSourceTest : public test::RelayFixture {
 protected:
  PrinterTapSourceTest() {
    settings.listen = true;
    settings.sourcePort = 9100;
  }
  // With -o the link's printer socket is created right behind the source's.
  FakeSocket& Printer() { return *platform.Sockets().at(1); }
  FakeSocket& TapListener() { return *platform.Sockets().at(2); }
  FakeSocket& TapClient() { return *platform.Sockets().at(3); }
  void StreamingTapClient() {
    TapListener().RequestConnection("127.0.0.1");
    TapClient().Arrive("GET / HTTP/1.0\r\n\r\n");
    TapClient().sent.clear();
  }
  void WithPrinter() {
    settings.printerHost = "192.0.2.9";
    settings.printerPort = 9101;
  }
};

TEST_F(PrinterTapSourceTest, PosBytesReachPrinterAndFramesRepliesReachOnlyThePos) {
  WithPrinter();
  Start();
  StreamingTapClient();
  SourceListener().RequestConnection("10.0.0.5");
  EXPECT_EQ(Printer().connectHost, "192.0.2.9");
  EXPECT_EQ(Printer().connectPort, 9101);
  Printer().CompleteConnect();
  SourceSocket().Arrive("RECEIPT\n\x10\x04\x01");
  EXPECT_EQ(Printer().sent, "RECEIPT\n\x10\x04\x01");
  Printer().Arrive("\x16");
  EXPECT_EQ(SourceSocket().sent, "\x16");
  SourceSocket().DrainAll();
  EXPECT_EQ(relay->Frames().Frame(), "RECEIPT\n\x10\x04\x01");

  SourceSocket().PeerClose();  // the frame goes at once; the printer is half-closed
  EXPECT_EQ(Bodies(TapClient()), std::vector<std::string>{"RECEIPT\n\x10\x04\x01"});
  EXPECT_EQ(Printer().shutdownAt, 11);
  EXPECT_EQ(SourceSocket().State(), SocketState::kClosing);
  Printer().PeerClose();
  EXPECT_EQ(SourceSocket().State(), SocketState::kClosed);
  EXPECT_EQ(SourceListener().State(), SocketState::kListening);
  EXPECT_EQ(TapClient().State(), SocketState::kConnected);
}

// Each waiting POS gets a printer connection of its own when its turn comes.
TEST_F(PrinterTapSourceTest, AWaitingPosIsPassedThroughInItsTurn) {
  WithPrinter();
  Start();
  SourceListener().RequestConnection("10.0.0.5");
  Printer().CompleteConnect();
  SourceListener().RequestConnection("10.0.0.6");
  platform.Sockets().back()->Arrive("SECOND");
  EXPECT_EQ(Printer().sent, "");
  SourceSocket().Arrive("FIRST");
  SourceSocket().PeerClose();
  Printer().PeerClose();  // the printer ends the first job
  EXPECT_EQ(SourceSocket().RemoteHost(), "10.0.0.6");
  EXPECT_EQ(Printer().State(), SocketState::kConnecting);
  Printer().sent.clear();
  Printer().CompleteConnect();
  EXPECT_EQ(Printer().sent, "SECOND");
}

TEST_F(PrinterTapSourceTest, RefusingPrinterClosesThePosAtOnceAndTheListenerKeepsItsPace) {
  WithPrinter();
  Start();
  SourceListener().RequestConnection("10.0.0.5");
  Printer().RaiseError(111, "Connection refused");
  EXPECT_TRUE(log.Contains("Printer 192.0.2.9:9101 unreachable: 111 - Connection refused"));
  EXPECT_EQ(SourceSocket().State(), SocketState::kClosed);
  SourceListener().RequestConnection("10.0.0.6");
  EXPECT_EQ(SourceSocket().State(), SocketState::kClosed) << "a failing printer keeps the pace";
  platform.Advance(1000);
  EXPECT_EQ(SourceSocket().State(), SocketState::kConnected);
}

TEST_F(PrinterTapSourceTest, SwitchesThatDoNotApplyAreIgnoredWithOneLineEach) {
  WithPrinter();
  settings.listen = false;
  settings.peerHost = "192.0.2.7";
  settings.answerStatus = true;
  Start();
  EXPECT_EQ(log.Count("Printer pass-through (-o) works with the TCP listener source (-l -t N) only: ignored."), 1u);
  EXPECT_EQ(log.Count("Status answers (-v) are off while a printer answers (-o): ignored."), 1u);
  SourceSocket().CompleteConnect();
  SourceSocket().Arrive("\x10\x04\x01");
  EXPECT_EQ(SourceSocket().sent, "");
  EXPECT_EQ(Listener().listenCalls, 1);  // no printer socket was made
}

TEST_F(PrinterTapSourceTest, StatusQueriesAreAnsweredOnTheSourceOnlyWithV) {
  for (const bool answer : {false, true}) {
    settings.answerStatus = answer;
    FakePlatform fresh;
    Relay tap(fresh, settings, service);
    tap.Start();
    FakeSocket& source = *fresh.Sockets().at(0);
    ListeningOn(fresh, settings.sourcePort).RequestConnection("10.0.0.5");
    source.Arrive("\x10\x04");
    source.Arrive("\x01" "ab\x10\x04\x04\x1d\x72\x01");
    EXPECT_EQ(source.sent, answer ? std::string("\x16\x12\x00", 3) : "");
    EXPECT_EQ(tap.Frames().Frame(), "\x10\x04\x01" "ab\x10\x04\x04\x1d\x72\x01");
  }
}

TEST_F(PrinterTapSourceTest, APeerThatAsksWithoutReadingGetsNoMoreThan64KiBOfAnswers) {
  settings.answerStatus = true;
  Start();
  SourceListener().RequestConnection("10.0.0.5");
  std::string queries;
  for (int i = 0; i < 1000; ++i) queries += "\x10\x04\x01";
  for (int burst = 0; burst < 100; ++burst) SourceSocket().Arrive(queries);
  EXPECT_EQ(SourceSocket().sent.size(), 66000u) << "the answers that cross 64 KiB are the last";
  SourceSocket().DrainAll();
  SourceSocket().sent.clear();
  SourceSocket().Arrive("\x10\x04\x02");
  EXPECT_EQ(SourceSocket().sent, "\x12") << "answers again once it has read";
}

// A POS that asks and then ends its side (as a print spooler does) still gets
// its answers before the connection closes; one that never reads, within 2 s.
TEST_F(PrinterTapSourceTest, AnswersStillReachAPeerThatEndedItsSide) {
  settings.answerStatus = true;
  Start();
  for (const bool reads : {true, false}) {
    SourceListener().RequestConnection("10.0.0.5");
    SourceListener().RequestConnection("10.0.0.6");  // waits behind it
    SourceSocket().sent.clear();
    SourceSocket().Arrive("\x10\x04\x01");
    SourceSocket().PeerClose();
    EXPECT_EQ(SourceSocket().shutdownAt, 1) << "half-closed behind the answer";
    EXPECT_EQ(SourceSocket().State(), SocketState::kClosing);
    if (reads) {
      SourceSocket().DrainAll();
    } else {
      platform.Advance(NetworkSource::kAnswerLingerMs);
    }
    EXPECT_EQ(SourceSocket().RemoteHost(), "10.0.0.6") << "the next is served once the answer left";
    SourceSocket().PeerClose();
  }
}

TEST_F(PrinterTapSourceTest, SerialSourceAnswersOnTheLine) {
  settings.sourcePort = 0;
  settings.answerStatus = true;
  Start();
  Serial().Receive("\x10\x04\x02text");
  EXPECT_EQ(Serial().written, "\x12");
  EXPECT_EQ(relay->Frames().Frame(), "\x10\x04\x02text");
}

TEST_F(PrinterTapSourceTest, PeerCloseOrFailureSendsTheFrameInProgressAtOnce) {
  settings.cutDetection = true;
  Start();
  const int client = StreamingClient();
  SourceListener().RequestConnection("10.0.0.5");
  SourceSocket().Arrive("ONE\n\x1dVTWO\n");  // a cut, then a tail
  SourceSocket().PeerClose();
  EXPECT_EQ(Bodies(Client(client)), (std::vector<std::string>{"ONE\n\x1dV", "TWO\n"}));
  platform.Advance(1000);
  SourceListener().RequestConnection("10.0.0.5");
  SourceSocket().Arrive("THREE\n");
  SourceSocket().RaiseError(104, "Connection reset by peer");
  EXPECT_EQ(Bodies(Client(client)).back(), "THREE\n");
}

}  // namespace
}  // namespace tavrik
