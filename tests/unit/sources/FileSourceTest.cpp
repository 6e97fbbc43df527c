#include "sources/FileSource.h"

#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

class FileSourceTest : public test::RelayFixture {
 protected:
  FileSourceTest() {
    settings.SourceFile = "/spool/receipt.txt";
    settings.FrameTimeout = 200;
  }
  FakeSpoolContent& Spool() { return platform.Spool(settings.SourceFile); }
  void Write(const std::string& bytes) {
    Spool().exists = true;
    Spool().bytes += bytes;
  }
};

TEST_F(FileSourceTest, DataPresentAtSetUpIsSkipped) {
  Write("old");
  Load();
  EXPECT_EQ(form->File().SourceFilePos, 3);
  EXPECT_EQ(form->ResetPending(), 0);
  Spool().heldByWriter = true;
  platform.Advance(100);
  EXPECT_EQ(form->Frames().FrameLength(), 0);
  Write("new");
  platform.Advance(100);
  EXPECT_EQ(form->Frames().Frame(), "new");
}

TEST_F(FileSourceTest, FileCreatedLaterIsRelayedAndTakenOver) {
  Load();
  const int client = StreamingClient();
  Write("receipt");
  platform.Advance(100);
  EXPECT_FALSE(Spool().exists);
  EXPECT_EQ(form->File().SourceFilePos, 0);
  platform.Advance(200);
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"receipt"});
  EXPECT_TRUE(log.Contains("Frame ready: 7 bytes. Frame info (StartTime EndTime EventCount): -1 / 0 / 0"));
}

TEST_F(FileSourceTest, FileHeldByItsWriterIsReadBurstByBurstAndNeverTakenOver) {
  settings.FrameTimeout = 0;  // frames end only by cut or size
  Load();
  Spool().heldByWriter = true;
  Write("one");
  platform.Advance(100);
  Write("two");
  platform.Advance(100);
  platform.Advance(100);
  EXPECT_EQ(form->Frames().Frame(), "onetwo");
  EXPECT_TRUE(Spool().exists);
  EXPECT_EQ(form->File().SourceFilePos, 6);
  Spool().heldByWriter = false;
  platform.Advance(100);  // nothing new: no take-over is tried
  EXPECT_TRUE(Spool().exists);
  Write("three");
  platform.Advance(100);
  EXPECT_FALSE(Spool().exists);
  EXPECT_EQ(form->Frames().Frame(), "onetwothree");
}

TEST_F(FileSourceTest, BytesAppendedBeforeTheTakeOverAndByStragglersAreRelayed) {
  Load();
  Write("measured");
  Spool().stragglers = "";
  platform.Advance(100);
  Spool().stragglers = "-late";
  platform.Advance(100);
  EXPECT_EQ(form->Frames().Frame(), "measured-late");
}

TEST_F(FileSourceTest, ShorterFileIsSkippedAndOnlyItsGrowthRead) {
  settings.FrameTimeout = 0;
  Load();
  Spool().heldByWriter = true;
  Write("0123456789");
  platform.Advance(100);
  Spool().bytes = "abc";
  platform.Advance(100);
  EXPECT_EQ(form->File().SourceFilePos, 3);
  Write("d");
  platform.Advance(100);
  EXPECT_EQ(form->Frames().Frame(), "0123456789d");
}

TEST_F(FileSourceTest, GrowthAboveOneMebibyteReadsOnlyTheLastMebibyte) {
  Load();
  Write(std::string(2000000 - 1, 'x') + "!");
  platform.Advance(100);
  EXPECT_EQ(form->Frames().FrameLength(), 1048576);
  EXPECT_EQ(form->Frames().Frame().back(), '!');
}

TEST_F(FileSourceTest, FailureIsLoggedEveryTickAndTheNextTickTriesAgain) {
  Load();
  Write("data");
  Spool().failRead = PlatformError(13, "Permission denied");
  platform.Advance(200);
  EXPECT_EQ(log.Count("Error while Opening SourceFile: 13 - Permission denied"), 2u);
  EXPECT_EQ(form->File().SourceFilePos, 0);
  Spool().failRead.reset();
  platform.Advance(100);
  EXPECT_EQ(form->Frames().Frame(), "data");
}

TEST_F(FileSourceTest, FileIsReadWhileAResetIsPending) {
  Create();
  Serial().failOpen = PlatformError(8002, "never used");
  form->Server().ListenSock->SetLocalPort(1);
  static_cast<FakeSocket&>(*form->Server().ListenSock).Fail("Listen", PlatformError(10048, "Address in use"));
  Load();
  EXPECT_TRUE(log.Contains("Error while Opening SourceFile: 10048 - Address in use"));
  Write("still read");
  platform.Advance(100);
  EXPECT_EQ(form->Frames().Frame(), "still read");
}

}  // namespace
}  // namespace tavrik
