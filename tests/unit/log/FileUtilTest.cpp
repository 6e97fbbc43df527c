#include "log/FileUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/PlatformError.h"
#include "unit/log/LogTestSupport.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

TEST(FileUtilTest, AppendToFileCreatesThenAppendsAndMeasures) {
  TempFolder folder;
  const std::string path = folder.Path("a.log");
  int64_t size = -1;
  AppendToFile(path, "abc", size);
  EXPECT_EQ(size, 3);
  AppendToFile(path, "de", size);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(ReadFile(path), "abcde");
}

TEST(FileUtilTest, AppendToFileMeasuresAFileLeftOverFromEarlier) {
  TempFolder folder;
  const std::string path = folder.Path("old.log");
  WriteFile(path, std::string(1000, 'x'));
  int64_t size = 0;
  AppendToFile(path, "y", size);
  EXPECT_EQ(size, 1001);
}

TEST(FileUtilTest, AppendToFileKeepsEveryByte) {
  TempFolder folder;
  const std::string path = folder.Path("bytes.log");
  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  bytes += "\r\n\n\r";
  int64_t size = 0;
  AppendToFile(path, bytes, size);
  EXPECT_EQ(ReadFile(path), bytes);
  EXPECT_EQ(size, static_cast<int64_t>(bytes.size()));
}

TEST(FileUtilTest, AppendToFileFailureNamesThePathAndLeavesSizeAlone) {
  TempFolder folder;
  const std::string missing = folder.Path("missing") + "/x.log";
  int64_t size = 42;
  try {
    AppendToFile(missing, "abc", size);
    FAIL() << "no failure";
  } catch (const PlatformError& e) {
    EXPECT_NE(e.Number(), 0);
    EXPECT_NE(e.Description().find(missing), std::string::npos) << e.Description();
  }
  EXPECT_EQ(size, 42);
  // A folder in place of the file.
  EXPECT_THROW(AppendToFile(folder.Root().string(), "abc", size), PlatformError);
}

TEST(FileUtilTest, AppendToFileToAFullDeviceFails) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  int64_t size = 7;
  EXPECT_THROW(AppendToFile("/dev/full", std::string(10000, 'x'), size), PlatformError);
  EXPECT_EQ(size, 7);
}

TEST(FileUtilTest, SplitsPaths) {
  EXPECT_EQ(PathBaseName("/var/log/Debug.log"), "Debug");
  EXPECT_EQ(PathFolder("/var/log/Debug.log"), "/var/log/");
  EXPECT_EQ(PathExtension("/var/log/Debug.log"), "log");

  EXPECT_EQ(PathBaseName("C:\\Program Files\\Tavrik\\Debug.log"), "Debug");
  EXPECT_EQ(PathFolder("C:\\Program Files\\Tavrik\\Debug.log"), "C:\\Program Files\\Tavrik\\");
  EXPECT_EQ(PathExtension("C:\\Program Files\\Tavrik\\Debug.log"), "log");
  EXPECT_EQ(PathFolder("C:\\mixed/dir\\x.txt"), "C:\\mixed/dir\\");

  EXPECT_EQ(PathBaseName("Debug.log"), "Debug");
  EXPECT_EQ(PathFolder("Debug.log"), "");
  EXPECT_EQ(PathBaseName("TavrikSrv.exe"), "TavrikSrv");
  EXPECT_EQ(PathBaseName("a.tar.gz"), "a.tar");
  EXPECT_EQ(PathExtension("a.tar.gz"), "gz");
}

TEST(FileUtilTest, SplitsPathsWithoutExtension) {
  EXPECT_EQ(PathBaseName("/opt/v1.2/Debug"), "Debug");
  EXPECT_EQ(PathExtension("/opt/v1.2/Debug"), "");
  EXPECT_EQ(PathFolder("/opt/v1.2/Debug"), "/opt/v1.2/");
  EXPECT_EQ(PathBaseName("/home/u/.profile"), ".profile");
  EXPECT_EQ(PathExtension("/home/u/.profile"), "");
  EXPECT_EQ(PathBaseName("/tmp/"), "");
}

TEST(FileUtilTest, MoveRegularFileReplacesTheTarget) {
  TempFolder folder;
  const std::string from = folder.Path("Debug.log");
  const std::string to = folder.Path("Debug_2.log");
  WriteFile(from, "new");
  WriteFile(to, "old");
  MoveRegularFile(from, to);
  EXPECT_FALSE(fs::exists(from));
  EXPECT_EQ(ReadFile(to), "new");
}

TEST(FileUtilTest, MoveRegularFileOfAMissingFileMovesNothing) {
  TempFolder folder;
  const std::string to = folder.Path("Debug_2.log");
  WriteFile(to, "old");
  MoveRegularFile(folder.Path("Debug.log"), to);
  EXPECT_FALSE(fs::exists(folder.Path("Debug.log")));
  EXPECT_EQ(ReadFile(to), "old");
}

TEST(FileUtilTest, MoveRegularFileLeavesAFolderInPlace) {
  TempFolder folder;
  const std::string from = folder.Path("Debug.log");
  fs::create_directory(from);
  MoveRegularFile(from, folder.Path("Debug_2.log"));
  EXPECT_TRUE(fs::is_directory(from));
  EXPECT_FALSE(fs::exists(folder.Path("Debug_2.log")));
}

TEST(FileUtilTest, MoveRegularFileOntoAFolderFails) {
  TempFolder folder;
  const std::string from = folder.Path("Debug.log");
  const std::string to = folder.Path("Debug_2.log");
  WriteFile(from, "x");
  fs::create_directory(to);
  WriteFile(to + "/inside", "y");
  try {
    MoveRegularFile(from, to);
    FAIL() << "no failure";
  } catch (const PlatformError& e) {
    EXPECT_NE(e.Description().find(from), std::string::npos) << e.Description();
  }
  EXPECT_EQ(ReadFile(from), "x");
}

}  // namespace
}  // namespace tavrik
