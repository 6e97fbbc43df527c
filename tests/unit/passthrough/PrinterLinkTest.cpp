#include "passthrough/PrinterLink.h"

#include <gtest/gtest.h>

#include "platform/fake/FakePlatform.h"
#include "support/LogCapture.h"

namespace tavrik {
namespace {

constexpr size_t kMax = PrinterLink::kMaxWaiting;

class PrinterLinkTest : public ::testing::Test {
 protected:
  PrinterLinkTest() {
    pos.SetState(SocketState::kConnected);
    link = std::make_unique<PrinterLink>(platform, "192.0.2.9", 9100, [this] { ++ends; });
  }
  FakeSocket& Printer() { return *platform.Sockets().at(1); }
  // Opens the link with the printer connected.
  void Connected() {
    ASSERT_TRUE(link->Open(pos));
    Printer().CompleteConnect();
  }

  test::LogCapture log{0};
  FakePlatform platform;
  std::unique_ptr<Socket> posOwned = platform.CreateSocket();
  FakeSocket& pos = static_cast<FakeSocket&>(*posOwned);
  std::unique_ptr<PrinterLink> link;
  int ends = 0;
};

TEST_F(PrinterLinkTest, BytesHeldWhileConnectingLeaveFirstAndRepliesReturnUnchanged) {
  ASSERT_TRUE(link->Open(pos));
  EXPECT_EQ(Printer().connectHost, "192.0.2.9");
  EXPECT_EQ(Printer().connectPort, 9100);
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  link->FromPos(all.substr(0, 100));
  EXPECT_EQ(link->WaitingForPrinter(), 100u);
  Printer().CompleteConnect();
  link->FromPos(all.substr(100));
  EXPECT_EQ(Printer().sent, all);
  EXPECT_EQ(Printer().atOnceCalls, Printer().sendCalls);  // a POS waits on each answer
  Printer().Arrive(all);
  EXPECT_EQ(pos.sent, all);
  EXPECT_EQ(link->WaitingForPos(), 256u);
  EXPECT_EQ(ends, 0);
}

TEST_F(PrinterLinkTest, PosIsHeldBackAt64KiBForThePrinterAndReadAgainAtHalf) {
  Connected();
  link->FromPos(std::string(kMax - 1, 'a'));
  EXPECT_FALSE(pos.readingPaused);
  link->FromPos("b");
  EXPECT_TRUE(pos.readingPaused);
  Printer().Drain(kMax / 2 - 1);  // kMax / 2 + 1 still waiting
  EXPECT_TRUE(pos.readingPaused);
  Printer().Drain(1);
  EXPECT_FALSE(pos.readingPaused);
  EXPECT_EQ(Printer().sent.size(), kMax);
}

TEST_F(PrinterLinkTest, PosIsHeldBackWhileThePrinterIsStillConnecting) {
  ASSERT_TRUE(link->Open(pos));
  link->FromPos(std::string(kMax, 'a'));
  EXPECT_TRUE(pos.readingPaused);
  Printer().CompleteConnect();
  Printer().DrainAll();
  EXPECT_FALSE(pos.readingPaused);
}

TEST_F(PrinterLinkTest, PrinterIsHeldBackAt64KiBForThePosAndReadAgainAtHalf) {
  Connected();
  Printer().Arrive(std::string(kMax - 1, 'r'));
  EXPECT_FALSE(Printer().readingPaused);
  Printer().Arrive("r");
  EXPECT_TRUE(Printer().readingPaused);
  link->OnPosSendProgress(static_cast<int32_t>(kMax / 2 + 1));
  EXPECT_TRUE(Printer().readingPaused);
  link->OnPosSendComplete();
  EXPECT_FALSE(Printer().readingPaused);
}

TEST_F(PrinterLinkTest, PosCloseHalfClosesThePrinterAfterItsBytesThenPassesRepliesFor2s) {
  Connected();
  link->FromPos("job\x10\x04\x04");
  EXPECT_TRUE(link->OnPosClosed());
  EXPECT_EQ(Printer().shutdownAt, 6);  // behind every byte of the job
  EXPECT_EQ(link->CurrentState(), PrinterLink::State::kDraining);
  platform.Advance(1999);
  Printer().Arrive("\x12");
  EXPECT_EQ(pos.sent, "\x12");
  EXPECT_EQ(ends, 0);
  platform.Advance(1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(Printer().State(), SocketState::kClosed);
  EXPECT_FALSE(link->IsOpen());
}

TEST_F(PrinterLinkTest, PrinterClosingAfterThePosEndsOnceThePosTookTheLastReply) {
  Connected();
  EXPECT_TRUE(link->OnPosClosed());
  Printer().Arrive("bye");
  Printer().PeerClose();
  EXPECT_EQ(ends, 0);  // "bye" still waits for the POS
  link->OnPosSendComplete();
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(log.Contains("Printer 192.0.2.9:9100 closed the connection during a job."));
}

TEST_F(PrinterLinkTest, PosCloseBeforeThePrinterConnectedStillDeliversTheJob) {
  ASSERT_TRUE(link->Open(pos));
  link->FromPos("early job");
  EXPECT_TRUE(link->OnPosClosed());
  EXPECT_EQ(Printer().shutdownAt, -1);
  Printer().CompleteConnect();
  EXPECT_EQ(Printer().sent, "early job");
  EXPECT_EQ(Printer().shutdownAt, 9);
}

TEST_F(PrinterLinkTest, RefusingPrinterEndsAtOnceWithItsAddressInTheLog) {
  ASSERT_TRUE(link->Open(pos));
  link->FromPos("lost to the printer");
  Printer().RaiseError(111, "Connection refused");
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(log.Contains("Printer 192.0.2.9:9100 unreachable: 111 - Connection refused"));
  EXPECT_EQ(link->WaitingForPrinter(), 0u);
}

TEST_F(PrinterLinkTest, SilentPrinterCountsAsUnreachableAfterTheConnectTimeout) {
  ASSERT_TRUE(link->Open(pos));
  platform.Advance(PrinterLink::kConnectTimeoutMs - 1);
  EXPECT_EQ(ends, 0);
  platform.Advance(1);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(log.Contains("Printer 192.0.2.9:9100 unreachable: connection timed out"));
}

TEST_F(PrinterLinkTest, ConnectThatCannotStartReturnsFalseWithoutCallingBack) {
  Printer().Fail("Connect", PlatformError(22, "Invalid argument"));
  EXPECT_FALSE(link->Open(pos));
  EXPECT_EQ(ends, 0);
  EXPECT_FALSE(link->IsOpen());
  EXPECT_TRUE(log.Contains("Printer 192.0.2.9:9100 unreachable: 22 - Invalid argument"));
}

TEST_F(PrinterLinkTest, PrinterClosingMidJobPassesItsLastBytesThenEnds) {
  Connected();
  link->FromPos(std::string(kMax, 'a'));
  EXPECT_TRUE(pos.readingPaused);
  Printer().Arrive("last");
  Printer().PeerClose();
  EXPECT_TRUE(log.Contains("Printer 192.0.2.9:9100 closed the connection during a job."));
  EXPECT_EQ(pos.sent, "last");
  EXPECT_FALSE(pos.readingPaused);  // the POS may finish; its bytes reach the frames only
  link->FromPos("more");
  EXPECT_EQ(Printer().sent.size(), kMax);
  EXPECT_EQ(ends, 0);
  platform.Advance(PrinterLink::kLingerMs);  // a POS that never reads
  EXPECT_EQ(ends, 1);
}

TEST_F(PrinterLinkTest, PrinterFailingMidJobWithNothingForThePosEndsAtOnce) {
  Connected();
  Printer().RaiseError(104, "Connection reset by peer");
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(log.Contains("Printer 192.0.2.9:9100 error: 104 - Connection reset by peer"));
}

TEST_F(PrinterLinkTest, StatusChangesAreLoggedOncePerChangeAndPendingQueriesForgottenAtClose) {
  Connected();
  std::vector<std::string> told;
  link->SetStatusListener([&](const std::string& status) { told.push_back(status); });
  link->FromPos("\x10\x04\x04");
  Printer().Arrive("\x12");
  link->FromPos("\x10\x04\x04");
  Printer().Arrive("\x12");
  link->FromPos("\x10\x04\x04");
  Printer().Arrive("\x7E");
  EXPECT_EQ(log.Count("Printer status: paper end"), 1u);
  EXPECT_EQ(log.Count("Printer status: paper near end"), 1u);
  ASSERT_FALSE(told.empty());
  EXPECT_NE(told.back().find("paper end"), std::string::npos) << told.back();
  link->FromPos("\x10\x04\x01");  // unanswered when the connection ends
  link->Close();
  Connected();
  Printer().Arrive("\x1E");  // not an answer to the query of the last connection
  EXPECT_FALSE(log.Contains("Printer status: offline"));
  EXPECT_TRUE(link->Status().IsOn(tap::StatusField::PaperEnd));
}

}  // namespace
}  // namespace tavrik
