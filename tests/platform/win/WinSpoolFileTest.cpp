// The Windows spool file on real files in a temporary folder. A writer is a
// second handle with the share mode a writing program would choose; Windows
// checks sharing per handle, so this process can play the other program.
#include "platform/asio/win/WinSpoolFile.h"

#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/PlatformError.h"

namespace tavrik {
namespace {

constexpr int64_t kGiB = int64_t{1} << 30;
const std::string kBytes("a\0b\x80\xff\r\n", 7);

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A handle of the writing program; closed when it goes out of scope.
class Writer {
 public:
  Writer(const std::string& path, DWORD share) {
    handle_ = CreateFileA(path.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~Writer() { Close(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Append(const std::string& text) {
    DWORD written = 0;
    return WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }
  void Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

class WinSpoolFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    folder_ = std::string(temp) + "tavrik-spool-" + std::to_string(GetCurrentProcessId()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << GetLastError();
    path_ = folder_ + "\\receipt.prn";
  }

  void TearDown() override {
    WinSpoolFile file(path_);
    DeleteFileA(path_.c_str());
    DeleteFileA(file.PrivatePath().c_str());
    EXPECT_TRUE(RemoveDirectoryA(folder_.c_str())) << "something was left in " << folder_;
  }

  void Write(const std::string& text) {
    Writer writer(path_, FILE_SHARE_READ);
    ASSERT_TRUE(writer.IsOpen());
    ASSERT_TRUE(writer.Append(text));
  }

  std::string folder_;
  std::string path_;
};

TEST_F(WinSpoolFileTest, MissingFileIsReportedAndNeverCreated) {
  WinSpoolFile file(path_);
  EXPECT_FALSE(file.Exists());
  try {
    file.Length();
    ADD_FAILURE() << "Length of a missing file";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(e.Description().find(path_), std::string::npos) << e.Description();
  }
  std::string out = "old";
  EXPECT_THROW(file.ReadAt(0, 10, out), PlatformError);
  EXPECT_EQ(out, "old");
  EXPECT_TRUE(file.TakeOver(0, out)) << "a file someone else removed counts as taken over";
  EXPECT_EQ(out, "old");
  EXPECT_FALSE(FileExists(path_));

  WinSpoolFile inMissingFolder(folder_ + "\\nowhere\\receipt.prn");
  EXPECT_FALSE(inMissingFolder.Exists());
}

TEST_F(WinSpoolFileTest, LengthAndReadAtPassEveryByte) {
  Write("head" + kBytes + "tail");
  WinSpoolFile file(path_);
  ASSERT_TRUE(file.Exists());
  EXPECT_EQ(file.Length(), 15);
  std::string out;
  file.ReadAt(4, 7, out);
  EXPECT_EQ(out, kBytes);
  file.ReadAt(11, 100, out);
  EXPECT_EQ(out, "tail") << "a read past the end gives what is there";
  file.ReadAt(15, 5, out);
  EXPECT_EQ(out, "");
  EXPECT_THROW(file.ReadAt(-1, 5, out), PlatformError);
}

TEST_F(WinSpoolFileTest, OffsetsBeyondFourGiBReachTheRightBytes) {
  {
    HANDLE handle = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD ignored = 0;
    // Sparse where the file system allows it, so that no 4 GiB are written.
    DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER at{};
    at.QuadPart = 4 * kGiB + 10;
    ASSERT_TRUE(SetFilePointerEx(handle, at, nullptr, FILE_BEGIN));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(handle, "tail", 4, &written, nullptr));
    CloseHandle(handle);
  }
  WinSpoolFile file(path_);
  EXPECT_EQ(file.Length(), 4 * kGiB + 14);
  std::string out;
  file.ReadAt(4 * kGiB + 8, 6, out);
  EXPECT_EQ(out, std::string("\0\0tail", 6));
}

TEST_F(WinSpoolFileTest, TakeOverReadsFromTheOffsetAndRemovesTheFile) {
  Write("skip" + kBytes);
  WinSpoolFile file(path_);
  std::string out = "before:";
  ASSERT_TRUE(file.TakeOver(4, out));
  EXPECT_EQ(out, "before:" + kBytes) << "appended to what out held";
  EXPECT_FALSE(FileExists(path_));
  EXPECT_FALSE(FileExists(file.PrivatePath()));
  EXPECT_FALSE(file.Exists());

  Write("next");
  EXPECT_TRUE(file.Exists()) << "the writer starts a fresh file";
  out.clear();
  ASSERT_TRUE(file.TakeOver(0, out));
  EXPECT_EQ(out, "next");
}

TEST_F(WinSpoolFileTest, FileHeldWithoutSharingDeleteIsLeftAloneUntilLetGo) {
  Writer writer(path_, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(writer.IsOpen());
  ASSERT_TRUE(writer.Append("first"));
  WinSpoolFile file(path_);

  EXPECT_EQ(file.Length(), 5) << "the writer shares reading";
  std::string out;
  EXPECT_FALSE(file.TakeOver(0, out));
  EXPECT_EQ(out, "");
  ASSERT_TRUE(FileExists(path_));
  ASSERT_TRUE(writer.Append("second")) << "the writer goes on undisturbed";

  writer.Close();
  ASSERT_TRUE(file.TakeOver(5, out));
  EXPECT_EQ(out, "second");
  EXPECT_FALSE(FileExists(path_));
}

TEST_F(WinSpoolFileTest, WriterThatSharesDeleteLetsTheFileBeTakenOver) {
  Writer writer(path_, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_TRUE(writer.IsOpen());
  ASSERT_TRUE(writer.Append("shared"));
  WinSpoolFile file(path_);
  std::string out;
  ASSERT_TRUE(file.TakeOver(0, out));
  EXPECT_EQ(out, "shared");
  EXPECT_FALSE(FileExists(path_)) << "the name is free for the next file at once";
  writer.Close();
  EXPECT_FALSE(FileExists(file.PrivatePath()));
}

TEST_F(WinSpoolFileTest, FileHeldExclusivelyCannotBeRead) {
  Writer writer(path_, 0);
  ASSERT_TRUE(writer.IsOpen());
  WinSpoolFile file(path_);
  EXPECT_TRUE(file.Exists());
  try {
    file.Length();
    ADD_FAILURE() << "Length of an exclusively held file";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), ERROR_SHARING_VIOLATION);
  }
  std::string out;
  EXPECT_FALSE(file.TakeOver(0, out));
  writer.Close();
  EXPECT_TRUE(FileExists(path_));
}

TEST_F(WinSpoolFileTest, NothingStraggles) {
  Write("once");
  WinSpoolFile file(path_);
  std::string out;
  ASSERT_TRUE(file.TakeOver(0, out));
  file.ReadStragglers(out);
  EXPECT_EQ(out, "once");
}

}  // namespace
}  // namespace tavrik
