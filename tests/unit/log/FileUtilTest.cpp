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

TEST(FileUtilTest, AppendTextCreatesThenAppendsAndMeasures) {
  TempFolder folder;
  const std::string path = folder.Path("a.log");
  FileUtil util;
  int64_t size = -1;
  util.AppendText(path, "abc", size);
  EXPECT_EQ(size, 3);
  util.AppendText(path, "de", size);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(ReadFile(path), "abcde");
}

TEST(FileUtilTest, AppendTextMeasuresAFileLeftOverFromEarlier) {
  TempFolder folder;
  const std::string path = folder.Path("old.log");
  WriteFile(path, std::string(1000, 'x'));
  int64_t size = 0;
  FileUtil().AppendText(path, "y", size);
  EXPECT_EQ(size, 1001);
}

TEST(FileUtilTest, AppendTextKeepsEveryByte) {
  TempFolder folder;
  const std::string path = folder.Path("bytes.log");
  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  bytes += "\r\n\n\r";
  int64_t size = 0;
  FileUtil().AppendText(path, bytes, size);
  EXPECT_EQ(ReadFile(path), bytes);
  EXPECT_EQ(size, static_cast<int64_t>(bytes.size()));
}

TEST(FileUtilTest, AppendTextFailureNamesThePathAndLeavesSizeAlone) {
  TempFolder folder;
  const std::string missing = folder.Path("missing") + "/x.log";
  int64_t size = 42;
  try {
    FileUtil().AppendText(missing, "abc", size);
    FAIL() << "no failure";
  } catch (const PlatformError& e) {
    EXPECT_NE(e.Number(), 0);
    EXPECT_NE(e.Description().find(missing), std::string::npos) << e.Description();
  }
  EXPECT_EQ(size, 42);
  // A folder in place of the file.
  EXPECT_THROW(FileUtil().AppendText(folder.Root().string(), "abc", size), PlatformError);
}

TEST(FileUtilTest, AppendTextToAFullDeviceFails) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  int64_t size = 7;
  EXPECT_THROW(FileUtil().AppendText("/dev/full", std::string(10000, 'x'), size), PlatformError);
  EXPECT_EQ(size, 7);
}

TEST(FileUtilTest, SplitsPaths) {
  const FileUtil util;
  EXPECT_EQ(util.PathBaseName("/var/log/Debug.log"), "Debug");
  EXPECT_EQ(util.PathFolder("/var/log/Debug.log"), "/var/log/");
  EXPECT_EQ(util.PathExtension("/var/log/Debug.log"), "log");

  EXPECT_EQ(util.PathBaseName("C:\\Program Files\\Tavrik\\Debug.log"), "Debug");
  EXPECT_EQ(util.PathFolder("C:\\Program Files\\Tavrik\\Debug.log"), "C:\\Program Files\\Tavrik\\");
  EXPECT_EQ(util.PathExtension("C:\\Program Files\\Tavrik\\Debug.log"), "log");
  EXPECT_EQ(util.PathFolder("C:\\mixed/dir\\x.txt"), "C:\\mixed/dir\\");

  EXPECT_EQ(util.PathBaseName("Debug.log"), "Debug");
  EXPECT_EQ(util.PathFolder("Debug.log"), "");
  EXPECT_EQ(util.PathBaseName("TavrikSrv.exe"), "TavrikSrv");
  EXPECT_EQ(util.PathBaseName("a.tar.gz"), "a.tar");
  EXPECT_EQ(util.PathExtension("a.tar.gz"), "gz");
}

TEST(FileUtilTest, SplitsPathsWithoutExtension) {
  const FileUtil util;
  EXPECT_EQ(util.PathBaseName("/opt/v1.2/Debug"), "Debug");
  EXPECT_EQ(util.PathExtension("/opt/v1.2/Debug"), "");
  EXPECT_EQ(util.PathFolder("/opt/v1.2/Debug"), "/opt/v1.2/");
  EXPECT_EQ(util.PathBaseName("/home/u/.profile"), ".profile");
  EXPECT_EQ(util.PathExtension("/home/u/.profile"), "");
  EXPECT_EQ(util.PathBaseName("/tmp/"), "");
}

TEST(FileUtilTest, RenameFileReplacesTheTarget) {
  TempFolder folder;
  const std::string from = folder.Path("Debug.log");
  const std::string to = folder.Path("Debug_2.log");
  WriteFile(from, "new");
  WriteFile(to, "old");
  FileUtil().RenameFile(from, to);
  EXPECT_FALSE(fs::exists(from));
  EXPECT_EQ(ReadFile(to), "new");
}

TEST(FileUtilTest, RenameFileOfAMissingFileMovesNothing) {
  TempFolder folder;
  const std::string to = folder.Path("Debug_2.log");
  WriteFile(to, "old");
  FileUtil().RenameFile(folder.Path("Debug.log"), to);
  EXPECT_FALSE(fs::exists(folder.Path("Debug.log")));
  EXPECT_EQ(ReadFile(to), "old");
}

TEST(FileUtilTest, RenameFileLeavesAFolderInPlace) {
  TempFolder folder;
  const std::string from = folder.Path("Debug.log");
  fs::create_directory(from);
  FileUtil().RenameFile(from, folder.Path("Debug_2.log"));
  EXPECT_TRUE(fs::is_directory(from));
  EXPECT_FALSE(fs::exists(folder.Path("Debug_2.log")));
}

TEST(FileUtilTest, RenameFileOntoAFolderFails) {
  TempFolder folder;
  const std::string from = folder.Path("Debug.log");
  const std::string to = folder.Path("Debug_2.log");
  WriteFile(from, "x");
  fs::create_directory(to);
  WriteFile(to + "/inside", "y");
  try {
    FileUtil().RenameFile(from, to);
    FAIL() << "no failure";
  } catch (const PlatformError& e) {
    EXPECT_NE(e.Description().find(from), std::string::npos) << e.Description();
  }
  EXPECT_EQ(ReadFile(from), "x");
}

}  // namespace
}  // namespace tavrik
