#include "sources/FileSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

// Every frame's bytes, whatever the clients could take.
struct FrameCollector : ReceiptListener {
  void OnReceipt(const ReceiptRecord& frame) override {
    bytes += frame.bytes;
    longest = std::max(longest, frame.bytes.size());
  }
  std::string bytes;
  size_t longest = 0;
};

class FileSourceTest : public test::RelayFixture {
 protected:
  FileSourceTest() {
    settings.spoolFile = "/spool/receipt.txt";
    settings.frameTimeoutMs = 200;
  }
  FakeSpoolContent& Spool() { return platform.Spool(settings.spoolFile); }
  void Write(const std::string& bytes) {
    Spool().exists = true;
    Spool().bytes += bytes;
  }
};

TEST_F(FileSourceTest, DataPresentAtSetUpIsSkipped) {
  Write("old");
  Start();
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  Spool().heldByWriter = true;
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Length(), 0);
  Write("new");
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "new");
}

TEST_F(FileSourceTest, FileCreatedLaterIsRelayedAndTakenOver) {
  Start();
  const int client = StreamingClient();
  Write("receipt");
  platform.Advance(100);
  EXPECT_FALSE(Spool().exists);
  platform.Advance(200);
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"receipt"});
  EXPECT_TRUE(log.Contains("Frame ready: 7 bytes. Frame info (StartTime EndTime EventCount): -1 / 0 / 0"));
  Write("again");  // the writer's fresh file is read from its start
  platform.Advance(300);
  EXPECT_EQ(Bodies(Client(client)), (std::vector<std::string>{"receipt", "again"}));
}

TEST_F(FileSourceTest, FileHeldByItsWriterIsReadBurstByBurstAndNeverTakenOver) {
  settings.frameTimeoutMs = 0;  // frames end only by cut or size
  Start();
  Spool().heldByWriter = true;
  Write("one");
  platform.Advance(100);
  Write("two");
  platform.Advance(100);
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "onetwo");
  EXPECT_TRUE(Spool().exists);
  Spool().heldByWriter = false;
  platform.Advance(100);  // nothing new: no take-over is tried
  EXPECT_TRUE(Spool().exists);
  Write("three");
  platform.Advance(100);
  EXPECT_FALSE(Spool().exists);
  EXPECT_EQ(relay->Frames().Frame(), "onetwothree");
}

TEST_F(FileSourceTest, BytesAppendedBeforeTheTakeOverAndByStragglersAreRelayed) {
  Start();
  Write("measured");
  Spool().stragglers = "";
  platform.Advance(100);
  Spool().stragglers = "-late";
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "measured-late");
}

TEST_F(FileSourceTest, ShorterFileIsSkippedAndOnlyItsGrowthRead) {
  settings.frameTimeoutMs = 0;
  Start();
  Spool().heldByWriter = true;
  Write("0123456789");
  platform.Advance(100);
  Spool().bytes = "abc";
  platform.Advance(100);
  Write("d");
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "0123456789d");
}

// A writer that never pauses for the frame timeout: the frames stay bounded
// (sent at the limit, checked after every piece handed on), nothing is lost.
TEST_F(FileSourceTest, GrowthAboveOneMebibyteReadsOnlyTheLastMebibyteInBoundedFrames) {
  settings.frameTimeoutMs = 0;
  Create();
  FrameCollector frames;
  relay->AddReceiptListener(frames);
  Start();
  Write(std::string(2000000 - 1, 'x') + "!");
  platform.Advance(110);  // the poll, then the frame listener's delay
  frames.bytes += relay->Frames().Frame();
  EXPECT_EQ(frames.bytes.size(), 1048576u);
  EXPECT_EQ(frames.bytes.back(), '!');
  EXPECT_LE(frames.longest, size_t{FrameAssembler::kMaxLength} + FileSource::kPiece);
  EXPECT_TRUE(log.Contains("FrameBuffer exceeds maximum frame size."));
}

// The read is handed on in pieces with pending events run in between; a
// read that takes long lets the idle tick, which gives back spare buffers,
// fall due among them. It must not give back the read being handed on.
TEST_F(FileSourceTest, IdleReleaseDuringASlowReadLeavesTheReadAlone) {
  settings.frameTimeoutMs = 0;
  Create();
  FrameCollector frames;
  relay->AddReceiptListener(frames);
  Start();
  platform.Advance(4850);  // no frame yet: the fifth idle tick is due at 5000
  Spool().onRead = [this] { platform.Stall(100); };
  std::string text;
  for (int i = 0; text.size() < 300 * 1024; ++i) text += "line " + std::to_string(i) + "\n";
  Write(text);
  platform.Advance(50);  // the poll at 4900 reads until 5000
  EXPECT_EQ(platform.memoryReturns, 1) << "the idle release ran during the read";
  platform.Advance(10);  // the frame listener's delay
  EXPECT_EQ(frames.bytes + std::string(relay->Frames().Frame()), text);
}

TEST_F(FileSourceTest, FailureIsLoggedEveryTickAndTheNextTickTriesAgain) {
  Start();
  Write("data");
  Spool().failRead = PlatformError(13, "Permission denied");
  platform.Advance(200);
  EXPECT_EQ(log.Count("Error while Opening SourceFile: 13 - Permission denied"), 2u);
  Spool().failRead.reset();
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "data");
}

TEST_F(FileSourceTest, BusyClientPortIsRetriedWithBackOffAndReadingGoesOnWhereItStopped) {
  Write("old");
  Create();
  Listener().Fail("Listen", PlatformError(10048, "Address in use"));
  Start();
  EXPECT_EQ(log.Count("Error while Opening SourceFile: 10048 - Address in use"), 1u);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRetryPending);
  EXPECT_EQ(service.statuses.size(), 0u);
  platform.Advance(1000);  // first retry after 1 s, then 10 s
  EXPECT_EQ(log.Count("Error while Opening SourceFile: 10048 - Address in use"), 2u);
  EXPECT_EQ(service.statuses.back(), "Client port 8147 cannot be opened, retrying in 1 s");
  Write("meanwhile");
  platform.Advance(9999);
  EXPECT_EQ(service.statuses.back(), "Client port 8147 cannot be opened, retrying in 10 s");
  EXPECT_EQ(relay->Frames().Length(), 0) << "nothing is read while nobody can listen";
  Listener().StopFailing("Listen");
  platform.Advance(1);
  EXPECT_EQ(Listener().State(), SocketState::kListening);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "meanwhile");
}

}  // namespace
}  // namespace tavrik
