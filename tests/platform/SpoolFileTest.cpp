// The Linux spool file on real files in a temporary folder, with writers in
// this process and in forked children.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/asio/posix/PosixSpoolFile.h"

namespace tavrik {
namespace {

using namespace std::chrono_literals;
using HolderCheck = PosixSpoolFile::HolderCheck;

constexpr int64_t kGiB = int64_t{1} << 30;

int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void AppendTo(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  WriteAll(fd, text);
  close(fd);
}

std::string Contents(const std::string& path) {
  std::string text;
  PosixSpoolFile(path).ReadAt(0, int64_t{1} << 20, text);
  return text;
}

// One byte through a pipe in either direction; 0 when the other end is gone.
char ReadByte(int fd) {
  char byte = 0;
  while (read(fd, &byte, 1) < 0 && errno == EINTR) {
  }
  return byte;
}

// A writer in a child process that opens, appends and closes on command, so
// that the file is held by another process exactly when a test says so.
class RemoteWriter {
 public:
  explicit RemoteWriter(const std::string& path) {
    int commands[2];
    int answers[2];
    if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(answers, O_CLOEXEC) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(commands[1]);
      close(answers[0]);
      Serve(path, commands[0], answers[1]);
      _exit(0);
    }
    close(commands[0]);
    close(answers[1]);
    commands_ = commands[1];
    answers_ = answers[0];
  }
  ~RemoteWriter() {
    Command('q');
    close(commands_);
    close(answers_);
    waitpid(pid_, nullptr, 0);
  }
  RemoteWriter(const RemoteWriter&) = delete;
  RemoteWriter& operator=(const RemoteWriter&) = delete;

  bool Open() { return Command('o'); }
  bool Append() { return Command('a'); }  // appends kText
  bool Close() { return Command('c'); }

  static constexpr const char* kText = "child\n";

 private:
  static void Serve(const std::string& path, int commands, int answers) {
    int fd = -1;
    for (;;) {
      const char command = ReadByte(commands);
      if (command == 'o') fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
      if (command == 'a') WriteAll(fd, kText);
      if (command == 'c') close(fd);
      if (command == 0 || command == 'q') return;
      WriteAll(answers, "k");
    }
  }

  bool Command(char command) {
    WriteAll(commands_, std::string(1, command));
    return command == 'q' || ReadByte(answers_) == 'k';
  }

  pid_t pid_ = -1;
  int commands_ = -1;
  int answers_ = -1;
};

class SpoolFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/spool-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    path_ = folder_ + "/spool.txt";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  bool OnDisk() const { return std::filesystem::exists(path_); }

  std::string folder_;
  std::string path_;
};

TEST_F(SpoolFileTest, MissingFileFailsWithItsPathAndIsNeverCreated) {
  PosixSpoolFile spool(path_);
  EXPECT_FALSE(spool.Exists());
  try {
    spool.Length();
    ADD_FAILURE() << "Length of a missing file";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), ENOENT);
    EXPECT_NE(e.Description().find(path_), std::string::npos) << e.Description();
  }
  std::string out = "kept";
  EXPECT_THROW(spool.ReadAt(0, 10, out), PlatformError);
  EXPECT_THROW(spool.TakeOver(0, out), PlatformError);
  spool.ReadStragglers(out);
  EXPECT_EQ(out, "kept");
  EXPECT_FALSE(spool.Exists());
  EXPECT_FALSE(OnDisk());
}

TEST_F(SpoolFileTest, MeasuresAndReadsEveryByteValueUnchanged) {
  std::string bytes;
  for (int i = 0; i < 512; ++i) bytes += static_cast<char>(i % 256);
  AppendTo(path_, bytes);
  PosixSpoolFile spool(path_);
  EXPECT_TRUE(spool.Exists());
  EXPECT_EQ(spool.Length(), 512);

  std::string out = "replaced";
  spool.ReadAt(10, 300, out);
  EXPECT_EQ(out, bytes.substr(10, 300));
  spool.ReadAt(500, 100, out);  // only 12 bytes are left
  EXPECT_EQ(out, bytes.substr(500));
  spool.ReadAt(600, 5, out);
  EXPECT_EQ(out, "");
  EXPECT_THROW(spool.ReadAt(-1, 5, out), PlatformError);
  EXPECT_EQ(Contents(path_), bytes);  // reading changes nothing
}

TEST_F(SpoolFileTest, ReadsAndTakesOverBeyondTwoGiB) {
  const std::string bytes = std::string("\0\xff", 2) + "edge";
  const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 3 * kGiB), 0);  // sparse: no disk space is used
  ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 5 * kGiB / 2), 6);
  close(fd);

  PosixSpoolFile spool(path_);
  EXPECT_EQ(spool.Length(), 3 * kGiB);
  std::string out;
  spool.ReadAt(5 * kGiB / 2, 6, out);
  EXPECT_EQ(out, bytes);
  spool.ReadAt(3 * kGiB - 2, 10, out);
  EXPECT_EQ(out, std::string(2, '\0'));
  out = "x";
  ASSERT_TRUE(spool.TakeOver(3 * kGiB - 4, out));
  EXPECT_EQ(out, "x" + std::string(4, '\0'));
  EXPECT_FALSE(OnDisk());
}

TEST_F(SpoolFileTest, ProcScanFindsOtherDescriptorsInAnyProcess) {
  AppendTo(path_, "text");
  RemoteWriter child(path_);  // forked before our descriptors exist: it inherits none
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(PosixSpoolFile::OtherDescriptorsOpen(fd));  // our own descriptor does not count

  const int second = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(second, 0);
  EXPECT_TRUE(PosixSpoolFile::OtherDescriptorsOpen(fd));
  close(second);
  EXPECT_FALSE(PosixSpoolFile::OtherDescriptorsOpen(fd));

  ASSERT_TRUE(child.Open());
  EXPECT_TRUE(PosixSpoolFile::OtherDescriptorsOpen(fd));
  ASSERT_EQ(unlink(path_.c_str()), 0);  // still found once it has no name
  EXPECT_TRUE(PosixSpoolFile::OtherDescriptorsOpen(fd));
  ASSERT_TRUE(child.Close());
  EXPECT_FALSE(PosixSpoolFile::OtherDescriptorsOpen(fd));
  close(fd);
}

// The take-over and the stress runs, with leases and with the /proc scan.
class SpoolTakeOverTest : public SpoolFileTest,
                          public ::testing::WithParamInterface<HolderCheck> {};

TEST_P(SpoolTakeOverTest, TakesOverFileNobodyHoldsAndLetsItGoOnceQuiet) {
  const int baseline = OpenDescriptorCount();
  PosixSpoolFile spool(path_, GetParam(), 0ms);
  std::string out;
  spool.ReadStragglers(out);
  EXPECT_EQ(out, "");

  AppendTo(path_, std::string("0123\0\xff", 6) + "6789");
  out = "before:";
  ASSERT_TRUE(spool.TakeOver(4, out));
  EXPECT_EQ(out, std::string("before:\0\xff", 9) + "6789");
  EXPECT_FALSE(OnDisk());
  EXPECT_EQ(OpenDescriptorCount(), baseline + 1);  // kept for a writer that raced us

  // The next file under the name is a file of its own.
  AppendTo(path_, "next");
  out.clear();
  ASSERT_TRUE(spool.TakeOver(0, out));
  EXPECT_EQ(out, "next");

  EXPECT_EQ(OpenDescriptorCount(), baseline + 2);
  out.clear();
  spool.ReadStragglers(out);
  EXPECT_EQ(out, "");
  EXPECT_EQ(OpenDescriptorCount(), baseline);
}

TEST_P(SpoolTakeOverTest, KeepsFilesTakenOverForTheirGraceTime) {
  const int baseline = OpenDescriptorCount();
  {
    PosixSpoolFile spool(path_, GetParam(), 1h);
    AppendTo(path_, "text");
    std::string out;
    ASSERT_TRUE(spool.TakeOver(0, out));
    for (int poll = 0; poll < 3; ++poll) spool.ReadStragglers(out);
    EXPECT_EQ(out, "text");
    EXPECT_EQ(OpenDescriptorCount(), baseline + 1);
  }
  EXPECT_EQ(OpenDescriptorCount(), baseline);  // closed with the spool file
}

TEST_P(SpoolTakeOverTest, LeavesFileThatAnotherDescriptorHolds) {
  AppendTo(path_, "held");
  PosixSpoolFile spool(path_, GetParam());
  const int writer = open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  std::string out = "untouched";
  EXPECT_FALSE(spool.TakeOver(0, out));
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(Contents(path_), "held");

  WriteAll(writer, "+more");
  EXPECT_FALSE(spool.TakeOver(4, out));
  close(writer);
  out.clear();
  ASSERT_TRUE(spool.TakeOver(4, out));
  EXPECT_EQ(out, "+more");
  EXPECT_FALSE(OnDisk());
}

TEST_P(SpoolTakeOverTest, LeavesFileThatAnotherProcessHolds) {
  RemoteWriter child(path_);
  ASSERT_TRUE(child.Open());
  ASSERT_TRUE(child.Append());
  PosixSpoolFile spool(path_, GetParam());
  std::string out;
  EXPECT_FALSE(spool.TakeOver(0, out));
  ASSERT_TRUE(child.Append());
  EXPECT_FALSE(spool.TakeOver(0, out));
  EXPECT_EQ(out, "");
  EXPECT_EQ(Contents(path_), "child\nchild\n");

  ASSERT_TRUE(child.Close());
  ASSERT_TRUE(spool.TakeOver(6, out));
  EXPECT_EQ(out, "child\n");
  EXPECT_FALSE(OnDisk());
}

// A writer that reaches the file after the take-over (here through a second
// name, which behaves like an open that found the name just before it went).
TEST_P(SpoolTakeOverTest, ReadsWhatAWriterAddsAfterTheTakeOverUntilItLetsGo) {
  const int baseline = OpenDescriptorCount();
  const std::string alias = folder_ + "/alias.txt";
  AppendTo(path_, "head|");
  ASSERT_EQ(link(path_.c_str(), alias.c_str()), 0);
  PosixSpoolFile spool(path_, GetParam(), 0ms);
  std::string out;
  ASSERT_TRUE(spool.TakeOver(0, out));
  EXPECT_EQ(out, "head|");
  EXPECT_FALSE(OnDisk());

  const int writer = open(alias.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  WriteAll(writer, "one|");
  out.clear();
  spool.ReadStragglers(out);
  EXPECT_EQ(out, "one|");
  for (int poll = 0; poll < 3; ++poll) spool.ReadStragglers(out);  // held, so kept
  EXPECT_EQ(OpenDescriptorCount(), baseline + 2);

  WriteAll(writer, "two|");
  close(writer);
  spool.ReadStragglers(out);
  EXPECT_EQ(out, "one|two|");
  EXPECT_EQ(OpenDescriptorCount(), baseline + 1);  // it gave something new this poll
  spool.ReadStragglers(out);
  EXPECT_EQ(out, "one|two|");
  EXPECT_EQ(OpenDescriptorCount(), baseline);
}

// Fixed-size numbered records with bytes that must pass unchanged.
constexpr size_t kRecordSize = 16;

std::string Record(unsigned number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%09u", number);
  return std::string(digits) + std::string("\0\xff\x80", 3) + "abc\n";
}

std::string Records(unsigned count) {
  std::string text;
  for (unsigned i = 0; i < count; ++i) text += Record(i);
  return text;
}

// Where collected first differs from what was written, for a readable failure.
std::string FirstDifference(const std::string& collected, const std::string& written) {
  size_t at = 0;
  while (at < collected.size() && at < written.size() && collected[at] == written[at]) ++at;
  const size_t record = at / kRecordSize;
  return "collected " + std::to_string(collected.size()) + " bytes, written " +
         std::to_string(written.size()) + "; first difference in record " + std::to_string(record) +
         ": '" + collected.substr(record * kRecordSize, kRecordSize) + "'";
}

// Polls as the file source does, but tries a take-over at every poll to make
// races as likely as possible; reads stragglers first so that bytes of an
// older file come before those of the next one.
class Poller {
 public:
  Poller(const std::string& path, HolderCheck check) : spool_(path, check) {}

  // Returns whether the file was taken over.
  bool Poll() {
    spool_.ReadStragglers(collected_);
    if (!spool_.Exists()) return false;
    const int64_t length = spool_.Length();
    EXPECT_GE(length, position_);
    if (length > position_) {
      std::string chunk;
      spool_.ReadAt(position_, length - position_, chunk);
      collected_ += chunk;
      position_ += static_cast<int64_t>(chunk.size());
    }
    std::string rest;
    if (!spool_.TakeOver(position_, rest)) return false;
    collected_ += rest;
    position_ = 0;
    ++takeOvers_;
    return true;
  }

  // Polls until the file is gone and every file taken over is let go again,
  // or 10 s pass.
  bool Settle(const std::string& path, int descriptors) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    for (;;) {
      Poll();
      if (!std::filesystem::exists(path) && OpenDescriptorCount() == descriptors) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(10ms);
    }
  }

  const std::string& Collected() const { return collected_; }
  int TakeOvers() const { return takeOvers_; }

 private:
  PosixSpoolFile spool_;
  std::string collected_;
  int64_t position_ = 0;
  int takeOvers_ = 0;
};

unsigned ReadCount(int fd) {
  unsigned count = 0;
  EXPECT_EQ(read(fd, &count, sizeof count), static_cast<ssize_t>(sizeof count));
  return count;
}

bool Exited(pid_t child) {
  return waitpid(child, nullptr, WNOHANG) == child;
}

// A child appends numbered records for 2 s, opening and closing the file for
// each one, flat out or in bursts with pauses; this process polls meanwhile,
// pausing pollPause in between.
void StressOpenAppendClose(const std::string& path, HolderCheck check, bool writerPauses,
                           std::chrono::milliseconds pollPause, std::string& collected,
                           std::string& written) {
  int result[2];
  ASSERT_EQ(pipe2(result, O_CLOEXEC), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    unsigned count = 0;
    const auto end = std::chrono::steady_clock::now() + 2s;
    for (unsigned burst = 0; std::chrono::steady_clock::now() < end && count < 200000; ++burst) {
      const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
      if (fd < 0) _exit(1);
      const std::string record = Record(count++);
      WriteAll(fd, record.substr(0, 5));  // so that a poll can catch half a record
      WriteAll(fd, record.substr(5));
      close(fd);
      if (writerPauses && burst % 50 == 49) std::this_thread::sleep_for(1ms);
    }
    WriteAll(result[1], std::string(reinterpret_cast<const char*>(&count), sizeof count));
    _exit(0);
  }
  close(result[1]);
  const int baseline = OpenDescriptorCount();
  {
    Poller poller(path, check);
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!Exited(child) && std::chrono::steady_clock::now() < deadline) {
      poller.Poll();
      if (pollPause.count() > 0) std::this_thread::sleep_for(pollPause);
    }
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer did not finish";
    EXPECT_TRUE(poller.Settle(path, baseline)) << "a file taken over was never let go";
    collected = poller.Collected();
    written = Records(ReadCount(result[0]));
    EXPECT_GT(poller.TakeOvers(), 1);
  }
  close(result[0]);
}

// A writer that never pauses is mostly in the middle of an open when its file
// is free, which counts as holding it; its pauses let take-overs happen.
TEST_P(SpoolTakeOverTest, StressWriterThatOpensAppendsAndClosesLosesNothing) {
  std::string collected;
  std::string written;
  StressOpenAppendClose(path_, GetParam(), true, 1ms, collected, written);
  EXPECT_TRUE(collected == written) << FirstDifference(collected, written);
  EXPECT_FALSE(OnDisk());
}

// Polling flat out makes opens that race a take-over frequent. Such a writer
// appends its record to the file taken over just after that record's
// successor may have started the next file, and polls microseconds apart can
// read the two in either order; so here only completeness counts.
TEST_P(SpoolTakeOverTest, StressWithPollsFlatOutLosesAndRepeatsNothing) {
  std::string collected;
  std::string written;
  StressOpenAppendClose(path_, GetParam(), false, 0ms, collected, written);
  ASSERT_EQ(collected.size(), written.size());
  std::vector<std::string> records;
  for (size_t at = 0; at < collected.size(); at += kRecordSize) {
    records.push_back(collected.substr(at, kRecordSize));
  }
  std::sort(records.begin(), records.end());  // zero-padded numbers sort in order
  size_t wrong = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i] != written.substr(i * kRecordSize, kRecordSize)) ++wrong;
  }
  EXPECT_EQ(wrong, 0u) << "records lost, repeated or torn";
}

TEST_P(SpoolTakeOverTest, StressWriterThatKeepsTheFileOpenLosesNothing) {
  int result[2];
  ASSERT_EQ(pipe2(result, O_CLOEXEC), 0);
  const std::string path = path_;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) _exit(1);
    WriteAll(result[1], "o");
    unsigned count = 0;
    const auto end = std::chrono::steady_clock::now() + 1500ms;
    for (unsigned burst = 0; std::chrono::steady_clock::now() < end; ++burst) {
      for (unsigned i = 0; i <= burst % 40; ++i) WriteAll(fd, Record(count++));
      std::this_thread::sleep_for(std::chrono::microseconds(500 * (burst % 7)));
    }
    WriteAll(result[1], "c");  // before the close: a take-over cannot come earlier
    close(fd);
    WriteAll(result[1], std::string(reinterpret_cast<const char*>(&count), sizeof count));
    _exit(0);
  }
  close(result[1]);
  ASSERT_EQ(ReadByte(result[0]), 'o');
  const int baseline = OpenDescriptorCount();
  {
    Poller poller(path_, GetParam());
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    bool closing = false;
    while (!Exited(child) && std::chrono::steady_clock::now() < deadline) {
      if (poller.Poll()) {
        pollfd closeSignal{result[0], POLLIN, 0};
        closing = poll(&closeSignal, 1, 0) == 1 && ReadByte(result[0]) == 'c';
        EXPECT_TRUE(closing) << "taken over while the writer held the file";
      }
      std::this_thread::sleep_for(1ms);
    }
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer did not finish";
    EXPECT_TRUE(poller.Settle(path_, baseline)) << "a file taken over was never let go";
    if (!closing) {
      EXPECT_EQ(ReadByte(result[0]), 'c');
    }
    const std::string written = Records(ReadCount(result[0]));
    EXPECT_TRUE(poller.Collected() == written) << FirstDifference(poller.Collected(), written);
    EXPECT_EQ(poller.TakeOvers(), 1);
  }
  close(result[0]);
}

INSTANTIATE_TEST_SUITE_P(HolderChecks, SpoolTakeOverTest,
                         ::testing::Values(HolderCheck::kLease, HolderCheck::kProcScan),
                         [](const ::testing::TestParamInfo<HolderCheck>& check) {
                           return check.param == HolderCheck::kLease ? "Lease" : "ProcScan";
                         });

}  // namespace
}  // namespace tavrik
