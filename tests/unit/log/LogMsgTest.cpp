#include "log/LogMsg.h"

#include <gtest/gtest.h>

#include "log/LogText.h"
#include "unit/log/LogTestSupport.h"
#include "unit/log/TestClock.h"

namespace tavrik {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::TestClock;

class LogMsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logger.SetDebugLevel(5);
    logger.SetLogPath(logPath);
    SetProcessLogger(&logger);
  }
  void TearDown() override { SetProcessLogger(nullptr); }

  TempFolder folder;
  TestClock clock;
  std::string logPath = folder.Path("Debug.log");
  Logger logger{clock, folder.Root().string(), "TavrikSrv"};
};

TEST_F(LogMsgTest, ForwardsToTheProcessLogger) {
  LogMsg(4, "hidden");
  LogMsg(5, "shown");
  EXPECT_EQ(ReadFile(logPath), clock.dateText + " - shown\r\n");
}

TEST_F(LogMsgTest, LazyFormBuildsNoTextBelowTheThreshold) {
  int built = 0;
  auto make = [&built] {
    ++built;
    return std::string("made");
  };
  LogMsgLazy(4, make);
  EXPECT_EQ(built, 0);
  EXPECT_EQ(clock.stamps, 0);
  LogMsgLazy(5, make);
  EXPECT_EQ(built, 1);
  EXPECT_EQ(ReadFile(logPath), clock.dateText + " - made\r\n");
}

TEST_F(LogMsgTest, LogWantedFollowsTheLevel) {
  EXPECT_FALSE(LogWanted(4));
  EXPECT_TRUE(LogWanted(5));
  EXPECT_TRUE(LogWanted(255));
  logger.SetDebugLevel(0);
  EXPECT_TRUE(LogWanted(0));
}

TEST_F(LogMsgTest, WithoutALoggerNothingIsLogged) {
  SetProcessLogger(nullptr);
  int built = 0;
  EXPECT_FALSE(LogWanted(255));
  LogMsg(255, "lost");
  LogMsgLazy(255, [&built] {
    ++built;
    return std::string("lost");
  });
  EXPECT_EQ(built, 0);
  EXPECT_EQ(clock.stamps, 0);
}

TEST(LogTextTest, BooleansAreTrueAndFalse) {
  EXPECT_EQ(BoolText(true), "True");
  EXPECT_EQ(BoolText(false), "False");
}

}  // namespace
}  // namespace tavrik
