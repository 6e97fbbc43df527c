#include "log/Logger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "unit/log/LogTestSupport.h"
#include "unit/log/TestClock.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempFolder;
using test::TestClock;
using test::WriteFile;

constexpr size_t kMiB = 1048576;

class LoggerTest : public ::testing::Test {
 protected:
  // A logger as start-up configures it, writing to Debug.log in the test's folder.
  std::unique_ptr<Logger> MakeLogger(bool useLogDelay = true, uint8_t level = 1) {
    auto logger = std::make_unique<Logger>(clock, folder.Root().string(), "TavrikSrv");
    logger->SetLevel(level);
    logger->SetDelayedWriting(useLogDelay);
    logger->SetPath(logPath);
    return logger;
  }
  // The line a message becomes: the test clock's stamp is 19 characters, so
  // a line is 24 bytes longer than its text.
  std::string Line(const std::string& text) const { return clock.dateText + " - " + text + "\r\n"; }
  static std::string TextOfLineLength(size_t length, char fill = 'x') {
    return std::string(length - 24, fill);
  }

  TempFolder folder;
  TestClock clock;
  std::string logPath = folder.Path("Debug.log");
  std::string backupPath = folder.Path("Debug_2.log");
};

TEST_F(LoggerTest, NewLoggerDefaultsAndSizeClamp) {
  Logger logger(clock, "/nowhere", "TavrikSrv");
  EXPECT_EQ(logger.Level(), 6);
  EXPECT_EQ(logger.SizeLimitMB(), 10);
  logger.SetSizeLimitMB(0);
  EXPECT_EQ(logger.SizeLimitMB(), 1);
  logger.SetSizeLimitMB(-7);
  EXPECT_EQ(logger.SizeLimitMB(), 1);
  logger.SetSizeLimitMB(5000);
  EXPECT_EQ(logger.SizeLimitMB(), 1999);
  logger.SetSizeLimitMB(1999);
  EXPECT_EQ(logger.SizeLimitMB(), 1999);
  logger.SetSizeLimitMB(1);
  EXPECT_EQ(logger.SizeLimitMB(), 1);
}

TEST_F(LoggerTest, BelowThresholdChangesNothing) {
  auto logger = MakeLogger(false, 5);
  logger->Write(4, "hidden");
  EXPECT_EQ(clock.stamps, 0);  // no time stamp built
  EXPECT_EQ(logger->PendingBytes(), 0u);
  EXPECT_FALSE(fs::exists(logPath));
  logger->Write(5, "shown");
  EXPECT_EQ(ReadFile(logPath), Line("shown"));
}

TEST_F(LoggerTest, LevelZeroWritesEverythingAndLevel255OnlyItsOwn) {
  auto logger = MakeLogger(false, 0);
  logger->Write(0, "zero");
  logger->SetLevel(255);
  logger->Write(254, "dropped");
  logger->Write(255, "top");
  EXPECT_EQ(ReadFile(logPath), Line("zero") + Line("top"));
}

TEST_F(LoggerTest, DefaultPathIsBesideTheExecutable) {
  {
    Logger logger(clock, folder.Root().string(), "TavrikSrv.exe");
    logger.Write(10, "hello");
    EXPECT_EQ(logger.Path(), folder.Root().string() + "/TavrikSrv.log");
  }
  EXPECT_EQ(ReadFile(folder.Path("TavrikSrv.log")), Line("hello"));
}

TEST_F(LoggerTest, WithoutDelayEveryLineIsWrittenAtOnce) {
  auto logger = MakeLogger(false);
  logger->Write(1, "a");
  EXPECT_EQ(ReadFile(logPath), Line("a"));
  logger->Write(1, "b");
  EXPECT_EQ(ReadFile(logPath), Line("a") + Line("b"));
}

TEST_F(LoggerTest, FirstMessageIsWrittenAtOnceWithDelay) {
  auto logger = MakeLogger();
  logger->Write(1, "first");
  EXPECT_EQ(ReadFile(logPath), Line("first"));
  EXPECT_EQ(logger->PendingBytes(), 0u);
}

TEST_F(LoggerTest, FirstMessageInTheFirstSecondAfterMidnightWaits) {
  clock.seconds = 0.5;
  auto logger = MakeLogger();
  logger->Write(1, "early");
  EXPECT_FALSE(fs::exists(logPath));
  clock.seconds = 1.0;
  logger->Write(1, "later");
  EXPECT_EQ(ReadFile(logPath), Line("early") + Line("later"));
}

TEST_F(LoggerTest, PendingLinesGoOutOnTheTickOnceASecondHasPassed) {
  clock.seconds = 100;
  auto logger = MakeLogger();
  logger->Write(1, "flush");
  clock.seconds = 100.2;
  logger->Write(1, "last words");
  logger->FlushIfDue();  // held: less than a second since the last write
  EXPECT_EQ(ReadFile(logPath), Line("flush"));
  clock.seconds = 101.0;
  logger->FlushIfDue();
  EXPECT_EQ(ReadFile(logPath), Line("flush") + Line("last words"));
  logger->FlushIfDue();  // nothing pending: nothing written
  EXPECT_EQ(ReadFile(logPath), Line("flush") + Line("last words"));
}

TEST_F(LoggerTest, DelayedLinesGoOutTogether) {
  clock.seconds = 100;
  auto logger = MakeLogger();
  logger->Write(1, "flush");
  const std::string written = Line("flush");
  for (double t : {100.1, 100.3, 100.5}) {
    clock.seconds = t;
    logger->Write(1, "pending");
    EXPECT_EQ(ReadFile(logPath), written) << t;
  }
  EXPECT_EQ(logger->PendingBytes(), 3 * Line("pending").size());
  clock.seconds = 101.5;
  logger->Write(1, "fourth");
  EXPECT_EQ(ReadFile(logPath),
            written + Line("pending") + Line("pending") + Line("pending") + Line("fourth"));
  EXPECT_EQ(logger->PendingBytes(), 0u);
}

TEST_F(LoggerTest, PassingMidnightFlushes) {
  clock.seconds = 86399.5;
  auto logger = MakeLogger();
  logger->Write(1, "a");
  clock.seconds = 86399.8;
  logger->Write(1, "b");
  EXPECT_EQ(ReadFile(logPath), Line("a"));
  clock.seconds = 0.3;
  logger->Write(1, "c");
  EXPECT_EQ(ReadFile(logPath), Line("a") + Line("b") + Line("c"));
}

TEST_F(LoggerTest, PendingBytesForceAWriteAt102400) {
  auto logger = MakeLogger();
  logger->Write(1, "flush");  // the delay now holds every line
  const std::string text = TextOfLineLength(1024);
  for (int i = 0; i < 99; ++i) logger->Write(1, text);
  EXPECT_EQ(logger->PendingBytes(), 99u * 1024u);
  EXPECT_EQ(fs::file_size(logPath), Line("flush").size());
  logger->Write(1, text);  // 102400 pending
  EXPECT_EQ(logger->PendingBytes(), 0u);
  EXPECT_EQ(fs::file_size(logPath), Line("flush").size() + 102400u);
}

// Memory given back on an idle relay: never the lines still waiting for the file.
TEST_F(LoggerTest, ReleasingSpareMemoryLosesNoPendingLine) {
  clock.seconds = 100;
  auto logger = MakeLogger();
  logger->Write(1, "flush");
  const std::string burst = TextOfLineLength(4096, 'b');
  for (int i = 0; i < 20; ++i) logger->Write(1, burst);
  logger->ReleaseSpareMemory();  // held lines: the buffer stays
  EXPECT_EQ(logger->PendingBytes(), 20u * 4096u);
  clock.seconds = 101.5;
  logger->FlushIfDue();
  logger->ReleaseSpareMemory();
  logger->Write(1, "after");
  clock.seconds = 103;
  logger->Write(1, "later");
  std::string expected = Line("flush");
  for (int i = 0; i < 20; ++i) expected += Line(burst);
  EXPECT_EQ(ReadFile(logPath), expected + Line("after") + Line("later"));
}

TEST_F(LoggerTest, DestructionWritesPendingLines) {
  {
    auto logger = MakeLogger();
    logger->Write(1, "a");
    logger->Write(1, "b");
    EXPECT_EQ(ReadFile(logPath), Line("a"));
  }
  EXPECT_EQ(ReadFile(logPath), Line("a") + Line("b"));
}

TEST_F(LoggerTest, TextBytesPassUnchanged) {
  auto logger = MakeLogger(false);
  std::string text = "a\rb\nc\r\n";
  text += '\0';
  text += "d\xFF\x80\x1Bi";  // ESC "i", a cut command
  logger->Write(1, text);
  EXPECT_EQ(ReadFile(logPath), clock.dateText + " - " + text + "\r\n");
}

// LogSizeMB 1 with a file of 1,048,000 bytes: room for 571 more before the
// 5-byte margin.
class LoggerRotationTest : public LoggerTest {
 protected:
  std::unique_ptr<Logger> MakeNearlyFullLogger() {
    WriteFile(logPath, std::string(1048000 - Line("a").size(), 'o'));
    auto logger = MakeLogger();
    logger->SetSizeLimitMB(1);
    logger->Write(1, "a");  // measures the file: 1,048,000 bytes
    EXPECT_EQ(fs::file_size(logPath), 1048000u);
    return logger;
  }
};

TEST_F(LoggerRotationTest, MovesTheFileAsideBeforeAWriteThatWouldNotFit) {
  auto logger = MakeNearlyFullLogger();
  clock.seconds += 0.1;
  logger->Write(1, TextOfLineLength(300, '1'));
  clock.seconds += 1.4;
  logger->Write(1, TextOfLineLength(300, '2'));  // 600 pending > 571
  EXPECT_EQ(fs::file_size(backupPath), 1048000u);
  EXPECT_EQ(ReadFile(logPath), Line(TextOfLineLength(300, '1')) + Line(TextOfLineLength(300, '2')));
}

TEST_F(LoggerRotationTest, WriteBelowTheMarginKeepsTheFile) {
  auto logger = MakeNearlyFullLogger();
  clock.seconds += 1;
  logger->Write(1, TextOfLineLength(570));
  EXPECT_EQ(fs::file_size(logPath), 1048570u);
  EXPECT_FALSE(fs::exists(backupPath));
}

TEST_F(LoggerRotationTest, WriteReachingTheMarginMovesTheFileAfterwards) {
  auto logger = MakeNearlyFullLogger();
  clock.seconds += 1;
  logger->Write(1, TextOfLineLength(571));
  EXPECT_EQ(fs::file_size(backupPath), 1048571u);
  EXPECT_FALSE(fs::exists(logPath));
  clock.seconds += 1;
  logger->Write(1, "fresh");
  EXPECT_EQ(ReadFile(logPath), Line("fresh"));
}

TEST_F(LoggerRotationTest, WriteOneOverTheMarginMovesTheFileFirst) {
  auto logger = MakeNearlyFullLogger();
  clock.seconds += 1;
  logger->Write(1, TextOfLineLength(572));
  EXPECT_EQ(fs::file_size(backupPath), 1048000u);
  EXPECT_EQ(fs::file_size(logPath), 572u);
}

TEST_F(LoggerRotationTest, NextRotationReplacesTheBackup) {
  auto logger = MakeLogger(false);
  logger->SetSizeLimitMB(1);
  const std::string first = TextOfLineLength(kMiB - 5, 'A');  // fills the file to the margin
  const std::string second = TextOfLineLength(kMiB - 5, 'B');
  logger->Write(1, first);
  EXPECT_FALSE(fs::exists(logPath));
  EXPECT_EQ(ReadFile(backupPath), Line(first));
  logger->Write(1, second);
  EXPECT_FALSE(fs::exists(logPath));
  EXPECT_EQ(ReadFile(backupPath), Line(second));
}

TEST_F(LoggerRotationTest, LogFileDeletedBehindTheLoggersBackStartsAgain) {
  auto logger = MakeNearlyFullLogger();
  fs::remove(logPath);
  clock.seconds += 1;
  logger->Write(1, TextOfLineLength(600));  // would rotate: nothing to move
  EXPECT_EQ(ReadFile(logPath), Line(TextOfLineLength(600)));
  EXPECT_FALSE(fs::exists(backupPath));
}

TEST_F(LoggerRotationTest, FailedRotationWritesNoLineTwice) {
  fs::create_directory(backupPath);  // a folder that cannot be replaced by the log
  WriteFile(backupPath + "/keep", "x");
  auto logger = MakeLogger(false);
  logger->SetSizeLimitMB(1);
  const std::string big = TextOfLineLength(kMiB - 5, 'A');
  logger->Write(1, big);  // written; moving it aside fails
  EXPECT_EQ(ReadFile(logPath), Line(big));
  clock.seconds += 1;
  logger->Write(1, "b");  // must move the file first: fails, b waits
  EXPECT_EQ(ReadFile(logPath), Line(big));
  EXPECT_EQ(logger->PendingBytes(), Line("b").size());
  fs::remove_all(backupPath);
  clock.seconds += 1;
  logger->Write(1, "c");
  EXPECT_EQ(ReadFile(backupPath), Line(big));
  EXPECT_EQ(ReadFile(logPath), Line("b") + Line("c"));
}

// Texts "line 000000 ..." of 100 characters: lines of 124 bytes.
std::string NumberedText(int i) {
  char number[16];
  std::snprintf(number, sizeof number, "line %06d ", i);
  std::string text(number);
  text.resize(100, '.');
  return text;
}

TEST_F(LoggerTest, UnwritableLogKeepsTheNewestLinesAndReportsTheDropped) {
  const fs::path missing = folder.Root() / "missing";
  logPath = (missing / "Debug.log").string();
  auto logger = MakeLogger();
  logger->SetSizeLimitMB(1);       // pending lines capped at 1 MiB
  constexpr int kLines = 30000;  // 3.7 MB over 300 s: a write attempt every second
  for (int i = 0; i < kLines; ++i) {
    clock.seconds += 0.01;
    logger->Write(1, NumberedText(i));
    ASSERT_LE(logger->PendingBytes(), kMiB) << i;
  }
  EXPECT_GT(logger->PendingBytes(), kMiB / 2);

  fs::create_directory(missing);
  clock.seconds += 1;
  logger->Write(1, "back");
  const std::string content = ReadFile(logPath);
  const std::string prefix = clock.dateText + " - ";
  ASSERT_EQ(content.compare(0, prefix.size(), prefix), 0);
  const size_t noticeEnd = content.find("\r\n");
  ASSERT_NE(noticeEnd, std::string::npos);
  const std::string notice = content.substr(prefix.size(), noticeEnd - prefix.size());
  int dropped = -1;
  char rest[64] = {};
  ASSERT_EQ(std::sscanf(notice.c_str(), "%d %63[^\n]", &dropped, rest), 2) << notice;
  EXPECT_EQ(std::string(rest), "log lines were dropped.");
  ASSERT_GT(dropped, 0);
  // Then every line from the oldest kept one to the newest, in order.
  std::string expected;
  for (int i = dropped; i < kLines; ++i) expected += Line(NumberedText(i));
  expected += Line("back");
  EXPECT_EQ(content.substr(noticeEnd + 2), expected);
  EXPECT_EQ(logger->PendingBytes(), 0u);

  clock.seconds += 1;
  logger->Write(1, "again");  // the count was reported once
  EXPECT_EQ(content.size() + Line("again").size(), fs::file_size(logPath));
}

TEST_F(LoggerTest, FolderAsLogPathIsRetriedAtMostOncePerSecond) {
  fs::create_directory(logPath);
  auto logger = MakeLogger(false);  // even without delayed writing
  logger->Write(1, "a");
  EXPECT_EQ(logger->PendingBytes(), Line("a").size());
  fs::remove(logPath);
  clock.seconds += 0.5;
  logger->Write(1, "b");
  EXPECT_FALSE(fs::exists(logPath));
  clock.seconds += 0.5;
  logger->Write(1, "c");
  EXPECT_EQ(ReadFile(logPath), Line("a") + Line("b") + Line("c"));
  logger->Write(1, "d");  // writing works again: no more holding
  EXPECT_EQ(ReadFile(logPath), Line("a") + Line("b") + Line("c") + Line("d"));
}

TEST_F(LoggerTest, RotationLeavesAnythingButAFileAlone) {
  fs::create_directory(logPath);
  auto logger = MakeLogger();
  logger->SetSizeLimitMB(1);
  logger->Write(1, "a");  // fails: a folder
  logger->Write(1, TextOfLineLength(kMiB - Line("a").size()));
  EXPECT_EQ(logger->PendingBytes(), kMiB);
  logger->Flush();  // a full limit pending: the log is moved aside first
  EXPECT_TRUE(fs::is_directory(logPath));
  EXPECT_FALSE(fs::exists(backupPath));
  EXPECT_EQ(logger->PendingBytes(), kMiB);
}

TEST_F(LoggerTest, LineLargerThanTheCapIsKeptAlone) {
  logPath = (folder.Root() / "missing" / "Debug.log").string();
  auto logger = MakeLogger();
  logger->SetSizeLimitMB(1);
  logger->Write(1, "small");  // the write fails
  const std::string huge(kMiB, 'L');
  logger->Write(1, huge);
  EXPECT_EQ(logger->PendingBytes(), Line(huge).size());
  fs::create_directory(folder.Root() / "missing");
  logger.reset();
  // Over the limit at once, so moved aside straight after the write.
  EXPECT_EQ(ReadFile(backupPath = folder.Path("missing/Debug_2.log")),
            Line("1 log lines were dropped.") + Line(huge));
}

}  // namespace
}  // namespace tavrik
