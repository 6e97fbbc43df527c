// The Windows serial port. What needs no device runs everywhere; reading a
// real line needs two COM ports wired to each other, named by the variable
// TAVRIK_TEST_COM_PAIR ("5,6": the port under test, then its far end), which
// the Wine smoke test provides with a pseudo-terminal pair. Never COM1: Wine
// maps it to /dev/ttyS0, which may be a real line. The live tests keep to 8
// data bits without parity: some kernels refuse other line settings on a
// pseudo-terminal, depending on what it was set to before.
#include "platform/asio/win/WinSerialPort.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/PlatformError.h"
#include "platform/SerialSettings.h"

namespace tavrik {
namespace {

using namespace std::chrono_literals;

// A port number Wine and Windows both leave unmapped.
constexpr int16_t kMissingPort = 99;

DCB LineFor(const std::string& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.fOutX = TRUE;  // set, to see that handshaking is switched off
  dcb.fOutxCtsFlow = TRUE;
  dcb.fNull = TRUE;
  WinSerialPort::ConfigureLine(dcb, ParseSerialSettings(settings));
  return dcb;
}

int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const PlatformError& e) {
    return e.Number();
  }
  return 0;
}

TEST(WinSerialPortLine, DevicePathReachesEveryPortNumber) {
  EXPECT_EQ(WinSerialPort::DevicePath(3), "\\\\.\\COM3");
  EXPECT_EQ(WinSerialPort::DevicePath(127), "\\\\.\\COM127");
}

TEST(WinSerialPortLine, SettingsBecomeTheDeviceControlBlock) {
  const DCB plain = LineFor("9600,n,8,1");
  EXPECT_EQ(plain.BaudRate, 9600u);
  EXPECT_EQ(plain.Parity, NOPARITY);
  EXPECT_EQ(plain.fParity, 0u);
  EXPECT_EQ(plain.ByteSize, 8);
  EXPECT_EQ(plain.StopBits, ONESTOPBIT);
  EXPECT_EQ(plain.fBinary, 1u);
  EXPECT_EQ(plain.fOutX, 0u);
  EXPECT_EQ(plain.fInX, 0u);
  EXPECT_EQ(plain.fOutxCtsFlow, 0u);
  EXPECT_EQ(plain.fOutxDsrFlow, 0u);
  EXPECT_EQ(plain.fNull, 0u) << "NUL bytes are data";
  EXPECT_EQ(plain.fAbortOnError, 0u);

  const DCB mark = LineFor("19200,M,7,1.5");
  EXPECT_EQ(mark.BaudRate, 19200u);
  EXPECT_EQ(mark.Parity, MARKPARITY);
  EXPECT_EQ(mark.fParity, 1u);
  EXPECT_EQ(mark.ByteSize, 7);
  EXPECT_EQ(mark.StopBits, ONE5STOPBITS);

  EXPECT_EQ(LineFor("300,s,5,2").Parity, SPACEPARITY);
  EXPECT_EQ(LineFor("300,s,5,2").StopBits, TWOSTOPBITS);
  EXPECT_EQ(LineFor("1200,e,8,1").Parity, EVENPARITY);
  EXPECT_EQ(LineFor("1200,o,8,1").Parity, ODDPARITY);
}

class WinSerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_.SetDataHandler([this] {
      ++notifications_;
      std::string chunk;
      port_.Read(chunk);
      received_ += chunk;
    });
  }

  // Runs the event loop until done() holds or 5 s pass.
  bool RunUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      context_.restart();
      context_.run_for(20ms);
    }
    return done();
  }

  asio::io_context context_;
  WinSerialPort port_{context_};
  int notifications_ = 0;
  std::string received_;
};

TEST_F(WinSerialPortTest, MissingPortFailsToOpenWithTheSystemsError) {
  try {
    port_.Open(kMissingPort, "9600,n,8,1");
    FAIL() << "COM99 opened";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number(), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(e.Description().find("COM99"), std::string::npos) << e.Description();
  }
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_EQ(port_.BytesWaiting(), 0);
  std::string out;
  EXPECT_EQ(ErrorNumberOf([&] { port_.Read(out); }), 8018) << "Read on a closed port";
  EXPECT_NO_THROW(port_.Close());
}

TEST_F(WinSerialPortTest, BadSettingsFailBeforeTheDeviceIsTouched) {
  EXPECT_EQ(ErrorNumberOf([&] { port_.Open(kMissingPort, "9600,x,8,1"); }), 380);
  EXPECT_EQ(ErrorNumberOf([&] { port_.Open(0, "9600,n,8,1"); }), 8002);
}

// Two COM ports wired to each other, or a skip.
class WinSerialLineTest : public WinSerialPortTest {
 protected:
  void SetUp() override {
    WinSerialPortTest::SetUp();
    const char* pair = std::getenv("TAVRIK_TEST_COM_PAIR");
    if (pair == nullptr) GTEST_SKIP() << "TAVRIK_TEST_COM_PAIR not set";
    const std::string text(pair);
    const size_t comma = text.find(',');
    ASSERT_NE(comma, std::string::npos) << text;
    linePort_ = static_cast<int16_t>(std::stoi(text.substr(0, comma)));
    const auto farPort = static_cast<int16_t>(std::stoi(text.substr(comma + 1)));
    farEnd_ = CreateFileA(WinSerialPort::DevicePath(farPort).c_str(), GENERIC_READ | GENERIC_WRITE,
                          0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(farEnd_, INVALID_HANDLE_VALUE) << GetLastError();
  }

  void TearDown() override {
    if (farEnd_ != INVALID_HANDLE_VALUE) CloseHandle(farEnd_);
  }

  void Send(const std::string& text) {
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(farEnd_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    ASSERT_EQ(written, text.size());
  }

  void Open(const std::string& lineSettings = "9600,n,8,1") { port_.Open(linePort_, lineSettings); }

  int16_t linePort_ = 0;
  HANDLE farEnd_ = INVALID_HANDLE_VALUE;
};

TEST_F(WinSerialLineTest, ReceivedBytesNotifyAndPassUnchanged) {
  Open();
  ASSERT_TRUE(port_.IsOpen());
  EXPECT_EQ(port_.BytesWaiting(), 0);

  const std::string bytes("receipt\0\x80\xff\x1dV", 12);
  Send(bytes);
  ASSERT_TRUE(RunUntil([&] { return received_.size() >= bytes.size(); })) << received_.size();
  EXPECT_EQ(received_, bytes);
  EXPECT_GE(notifications_, 1);
  EXPECT_EQ(port_.LastEvent(), kSerialDataReceived);
  EXPECT_EQ(port_.BytesWaiting(), 0) << "everything was taken";
}

// Waiting are the bytes a read brought and those still in the driver's queue.
TEST_F(WinSerialLineTest, UntakenBytesCountAsWaiting) {
  port_.SetDataHandler([this] { ++notifications_; });  // a handler that does not read
  Open();
  Send("abc");
  ASSERT_TRUE(RunUntil([&] { return notifications_ > 0 && port_.BytesWaiting() == 3; }))
      << port_.BytesWaiting();
  std::string all;
  ASSERT_TRUE(RunUntil([&] {
    std::string chunk;
    port_.Read(chunk);
    all += chunk;
    return all.size() >= 3;
  }));
  EXPECT_EQ(all, "abc");
  EXPECT_EQ(port_.BytesWaiting(), 0);
  port_.Read(all);
  EXPECT_EQ(all, "") << "nothing waiting";
}

TEST_F(WinSerialLineTest, ReopenedPortReadsAgainWithNewSettings) {
  Open("19200,n,8,2");
  EXPECT_EQ(ErrorNumberOf([&] { Open(); }), 8005);
  EXPECT_EQ(ErrorNumberOf([&] { port_.Open(static_cast<int16_t>(linePort_ + 1), "9600,n,8,1"); }), 8000);
  EXPECT_TRUE(port_.IsOpen());

  port_.Close();
  EXPECT_FALSE(port_.IsOpen());
  Open();
  Send("again");
  ASSERT_TRUE(RunUntil([&] { return received_ == "again"; })) << received_;
}

}  // namespace
}  // namespace tavrik
