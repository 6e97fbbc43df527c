// The Linux serial port on pseudo-terminals: the test holds the master end and
// links the slave as com7 in a temporary folder that stands for the
// executable's folder.
#include "platform/asio/posix/PosixSerialPort.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "platform/PlatformError.h"

namespace tavrik {
namespace {

using namespace std::chrono_literals;

int OpenDescriptorCount() {
  int count = 0;
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  while (readdir(folder) != nullptr) ++count;
  closedir(folder);
  return count;
}

class SerialPortTest : public ::testing::Test {
 protected:
  static constexpr int16_t kPort = 7;  // linked as com7

  void SetUp() override {
    char folder[] = "/tmp/tavrik-serial-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    NewPty();
    port_ = std::make_unique<PosixSerialPort>(context_, folder_);
    port_->SetDataHandler([this] {
      ++notifications_;
      if (onData_) onData_();
    });
  }

  void TearDown() override {
    port_.reset();
    context_.restart();
    context_.poll();  // completions of a wait cancelled by the destruction
    ClosePty();
    for (const char* name : {"/com7", "/com8", "/com9"}) unlink((folder_ + name).c_str());
    rmdir(folder_.c_str());
  }

  // A fresh pseudo-terminal, linked as com7.
  void NewPty() {
    ClosePty();
    char name[256];
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    Link("com7", name);
  }

  void ClosePty() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
  }

  void CloseMaster() {
    close(master_);
    master_ = -1;
  }

  void Link(const std::string& name, const std::string& target) {
    const std::string link = folder_ + "/" + name;
    unlink(link.c_str());
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  }

  void WriteToMaster(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  termios SlaveLine() {
    termios line{};
    EXPECT_EQ(tcgetattr(slave_, &line), 0);
    return line;
  }

  void Open(const std::string& settings) { port_->Open(kPort, settings); }

  // Runs the loop until done() holds; false after 5 s.
  bool RunUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      if (context_.stopped()) context_.restart();
      context_.run_one_for(50ms);
    }
    return true;
  }

  // An data handler that drains the port into received_, as the relay's does.
  void DrainOnData() {
    onData_ = [this] {
      std::string chunk;
      for (port_->Read(chunk); !chunk.empty(); port_->Read(chunk)) received_ += chunk;
    };
  }

  static std::string AllByteValues() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    return bytes;
  }

  std::string folder_;
  int master_ = -1;
  int slave_ = -1;
  asio::io_context context_;
  std::unique_ptr<PosixSerialPort> port_;
  int notifications_ = 0;
  std::function<void()> onData_;
  std::string received_;
};

// Data bits and parity enable are not checked here: a pseudo-terminal always
// reports CS8 without PARENB (SerialLineTest checks them on the composed line).
TEST_F(SerialPortTest, OpensWithTheSettingsOnTheLine) {
  struct Case {
    std::string settings;
    speed_t speed;
    tcflag_t parity;
    tcflag_t stop;
  };
  const Case cases[] = {
      {"19200,e,7,1", B19200, 0, 0},
      {"9600,o,8,2", B9600, PARODD, CSTOPB},
      {"9600,M,8,1", B9600, PARODD | CMSPAR, 0},
      {"115200,s,8,1.5", B115200, CMSPAR, CSTOPB},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    Open(c.settings);
    EXPECT_TRUE(port_->IsOpen());
    const termios line = SlaveLine();
    EXPECT_EQ(cfgetospeed(&line), c.speed);
    EXPECT_EQ(line.c_cflag & (PARODD | CMSPAR), c.parity);
    EXPECT_EQ(line.c_cflag & CSTOPB, c.stop);
    EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(line.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_cc[VMIN], 1);
    EXPECT_EQ(line.c_cc[VTIME], 0);
    port_->Close();
    EXPECT_FALSE(port_->IsOpen());
  }
}

TEST_F(SerialPortTest, TakesARateOutsideTheStandardTable) {
  Open("14400,n,8,1");
  EXPECT_EQ(SlaveLine().c_cflag & CBAUD, tcflag_t{CBAUDEX}) << "the kernel's BOTHER code";
}

TEST_F(SerialPortTest, RefusesToReopenOrRenumberAnOpenPort) {
  port_->Close();  // closing a closed port does nothing
  Open("9600,n,8,1");
  try {
    Open("9600,n,8,1");
    ADD_FAILURE() << "opened twice";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), 8005);
    EXPECT_EQ(e.Description(), "Port already open");
  }
  try {
    port_->Open(8, "9600,n,8,1");
    ADD_FAILURE() << "renumbered while open";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), 8000);
  }
  EXPECT_TRUE(port_->IsOpen());
  port_->Close();
  port_->Close();
  EXPECT_FALSE(port_->IsOpen());
}

TEST_F(SerialPortTest, PassesEveryByteValueUnchangedThroughTheDataHandlerAndRead) {
  DrainOnData();
  Open("9600,n,8,1");
  std::string sent;
  for (int i = 0; i < 4; ++i) sent += AllByteValues();
  WriteToMaster(sent);
  ASSERT_TRUE(RunUntil([&] { return received_.size() >= sent.size(); }));
  EXPECT_EQ(received_, sent);
  EXPECT_EQ(port_->LastEvent(), kSerialDataReceived);
  EXPECT_EQ(port_->BytesWaiting(), 0);

  // Later data notifies again.
  const int before = notifications_;
  WriteToMaster("\r\n\x1bi");
  ASSERT_TRUE(RunUntil([&] { return received_.size() == sent.size() + 4; }));
  EXPECT_EQ(received_.substr(sent.size()), "\r\n\x1bi");
  EXPECT_GT(notifications_, before);
}

TEST_F(SerialPortTest, CountsWaitingBytesUntilTheyAreRead) {
  EXPECT_EQ(port_->BytesWaiting(), 0) << "closed";
  std::string chunk = "stale";
  EXPECT_THROW(port_->Read(chunk), PlatformError) << "closed";
  Open("9600,n,8,1");
  port_->Read(chunk);
  EXPECT_EQ(chunk, "") << "nothing waiting";

  std::string waiting = "0123";
  waiting += '\0';
  waiting += "56789";
  WriteToMaster(waiting);
  ASSERT_TRUE(RunUntil([&] { return port_->BytesWaiting() == 10 && notifications_ > 0; }));
  port_->Read(chunk);
  EXPECT_EQ(chunk, waiting);
  EXPECT_EQ(port_->BytesWaiting(), 0);
}

TEST_F(SerialPortTest, BadSettingsFailTheOpeningAndLeaveThePortClosed) {
  for (const std::string settings : {"", "9600,x,8,1", "9600,n,8"}) {
    SCOPED_TRACE(settings);
    try {
      Open(settings);
      ADD_FAILURE() << "opened";
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Number(), 380);
      EXPECT_NE(e.Description().find("serial settings '" + settings + "'"), std::string::npos);
    }
    EXPECT_FALSE(port_->IsOpen());
  }
  Open("9600,n,8,1");
  EXPECT_TRUE(port_->IsOpen());
}

TEST_F(SerialPortTest, MissingOrUnfitDevicesFailWithTheirPath) {
  const int descriptors = OpenDescriptorCount();
  struct stat entry {};
  if (stat("/dev/ttyS126", &entry) == 0) GTEST_SKIP() << "this machine has /dev/ttyS126";
  try {
    port_->Open(127, "9600,n,8,1");
    ADD_FAILURE() << "opened";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), ENOENT);
    EXPECT_EQ(e.Description(),
              "Cannot open com127 (/dev/ttyS126): " + std::string(strerror(ENOENT)));
  }

  Link("com9", folder_ + "/gone");  // a link whose device vanished
  try {
    port_->Open(9, "9600,n,8,1");
    ADD_FAILURE() << "opened";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), ENOENT);
    EXPECT_NE(e.Description().find("com9 (" + folder_ + "/com9)"), std::string::npos);
  }

  Link("com8", "/dev/null");  // opens, but is no tty
  try {
    port_->Open(8, "9600,n,8,1");
    ADD_FAILURE() << "opened";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), ENOTTY);
    EXPECT_NE(e.Description().find("Cannot configure com8"), std::string::npos);
  }
  EXPECT_FALSE(port_->IsOpen());
  EXPECT_EQ(OpenDescriptorCount(), descriptors) << "a failed opening keeps no descriptor";
  EXPECT_EQ(port_->BytesWaiting(), 0);
}

TEST_F(SerialPortTest, ClosingReleasesTheDescriptor) {
  const int descriptors = OpenDescriptorCount();
  Open("9600,n,8,1");
  EXPECT_EQ(OpenDescriptorCount(), descriptors + 1);
  port_->Close();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(SerialPortTest, AVanishedDeviceNotifiesOnceWithoutSpinning) {
  int failures = 0;
  int failureNumber = 0;
  onData_ = [&] {
    std::string chunk;
    try {
      port_->Read(chunk);
    } catch (const PlatformError& e) {
      ++failures;
      failureNumber = e.Number();
    }
  };
  Open("9600,n,8,1");
  CloseMaster();
  ASSERT_TRUE(RunUntil([&] { return failures > 0; }));
  EXPECT_EQ(failureNumber, EIO);
  EXPECT_TRUE(port_->IsOpen()) << "closing is the owner's decision";

  // Nothing is waited on any more: the loop has nothing to run.
  context_.restart();
  EXPECT_EQ(context_.run_for(200ms), 0u);
  EXPECT_EQ(notifications_, 1);
  EXPECT_EQ(failures, 1);
  EXPECT_THROW(port_->BytesWaiting(), PlatformError);
  std::string chunk;
  EXPECT_THROW(port_->Read(chunk), PlatformError);
}

TEST_F(SerialPortTest, ReopensOnANewDeviceLinkedUnderTheSameName) {
  DrainOnData();
  Open("9600,n,8,1");
  CloseMaster();
  int failures = 0;
  const auto drain = onData_;
  onData_ = [&] {
    try {
      drain();
    } catch (const PlatformError&) {
      ++failures;
    }
  };
  ASSERT_TRUE(RunUntil([&] { return failures > 0; }));

  port_->Close();
  NewPty();
  Open("9600,n,8,1");
  WriteToMaster("after");
  ASSERT_TRUE(RunUntil([&] { return received_ == "after"; }));
  EXPECT_EQ(failures, 1);
}

TEST_F(SerialPortTest, TheDataHandlerMayCloseAndReopenThePort) {
  DrainOnData();
  const auto drain = onData_;
  onData_ = [&] {
    drain();
    if (notifications_ == 1) {
      port_->Close();
      Open("9600,n,8,1");
    }
  };
  Open("9600,n,8,1");
  WriteToMaster("one");
  ASSERT_TRUE(RunUntil([&] { return received_ == "one"; }));
  WriteToMaster("two");
  ASSERT_TRUE(RunUntil([&] { return received_ == "onetwo"; }));
  context_.poll();
  EXPECT_EQ(notifications_, 2) << "the reopened port waits once, not twice";
}

TEST_F(SerialPortTest, AFailingHandlerDoesNotStopTheLoop) {
  onData_ = [&] {
    std::string chunk;
    port_->Read(chunk);
    received_ += chunk;
    throw std::runtime_error("handler failure");
  };
  Open("9600,n,8,1");
  WriteToMaster("x");
  ASSERT_TRUE(RunUntil([&] { return received_ == "x"; }));
  WriteToMaster("y");
  ASSERT_TRUE(RunUntil([&] { return received_ == "xy"; }));
}

}  // namespace
}  // namespace tavrik
