#include "log/Log.h"

#include <gtest/gtest.h>

#include "log/LogText.h"
#include "unit/log/LogTestSupport.h"
#include "unit/log/TestClock.h"

namespace tavrik {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::TestClock;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logger.SetLevel(5);
    logger.SetPath(logPath);
    SetProcessLogger(&logger);
  }
  void TearDown() override { SetProcessLogger(nullptr); }

  TempFolder folder;
  TestClock clock;
  std::string logPath = folder.Path("Debug.log");
  Logger logger{clock, folder.Root().string(), "TavrikSrv"};
};

TEST_F(LogTest, ForwardsToTheProcessLogger) {
  Log(LogLevel::kProgress, "hidden");
  Log(LogLevel::kClientClosed, "shown");
  EXPECT_EQ(ReadFile(logPath), clock.dateText + " - shown\r\n");
}

TEST_F(LogTest, LazyFormBuildsNoTextBelowTheThreshold) {
  int built = 0;
  auto make = [&built] {
    ++built;
    return std::string("made");
  };
  LogLazy(LogLevel::kProgress, make);
  EXPECT_EQ(built, 0);
  EXPECT_EQ(clock.stamps, 0);
  LogLazy(LogLevel::kClientClosed, make);
  EXPECT_EQ(built, 1);
  EXPECT_EQ(ReadFile(logPath), clock.dateText + " - made\r\n");
}

TEST_F(LogTest, LogWantedFollowsTheLevel) {
  EXPECT_FALSE(LogWanted(LogLevel::kProgress));
  EXPECT_TRUE(LogWanted(LogLevel::kClientClosed));
  EXPECT_TRUE(LogWanted(LogLevel::kError));
  logger.SetLevel(0);
  EXPECT_TRUE(LogWanted(LogLevel::kData));
  logger.SetLevel(11);
  EXPECT_FALSE(LogWanted(LogLevel::kError));
}

TEST_F(LogTest, WithoutALoggerNothingIsLogged) {
  SetProcessLogger(nullptr);
  int built = 0;
  EXPECT_FALSE(LogWanted(LogLevel::kError));
  Log(LogLevel::kError, "lost");
  LogLazy(LogLevel::kError, [&built] {
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
