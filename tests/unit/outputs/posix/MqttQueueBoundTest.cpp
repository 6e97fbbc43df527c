// The MQTT output against a broker that stops reading: a loopback listener
// the test plays by hand, while the output's poll ticks run on simulated time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "outputs/MqttOutput.h"
#include "outputs/mqtt/MosquittoOutput.h"
#include "platform/fake/FakePlatform.h"
#include "support/LogCapture.h"

namespace tavrik {
namespace {

constexpr int kPollMs = 20;  // the output's poll tick

class StalledBroker {
 public:
  StalledBroker() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int least = 1;  // a tiny window, inherited by the connection
    ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &least, sizeof least);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
  }
  ~StalledBroker() {
    if (peer_ >= 0) ::close(peer_);
    ::close(listener_);
  }
  // Takes the CONNECT and accepts it, then reads nothing more.
  bool AcceptOnce() {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, 10000) != 1) return false;
    peer_ = ::accept(listener_, nullptr, nullptr);
    pollfd connect{peer_, POLLIN, 0};
    if (::poll(&connect, 1, 10000) != 1) return false;
    char packet[512];
    if (::recv(peer_, packet, sizeof packet, 0) <= 0 || packet[0] != 0x10) return false;
    const char connack[] = {0x20, 0x02, 0x00, 0x00};
    return ::send(peer_, connack, sizeof connack, 0) == sizeof connack;
  }
  // What arrived so far, without waiting.
  std::string Take() {
    std::string bytes;
    char chunk[4096];
    ssize_t n = 0;
    while ((n = ::recv(peer_, chunk, sizeof chunk, MSG_DONTWAIT)) > 0) bytes.append(chunk, static_cast<size_t>(n));
    return bytes;
  }
  void Send(const std::string& bytes) { ::send(peer_, bytes.data(), bytes.size(), 0); }
  int port = 0;

 private:
  int listener_ = -1;
  int peer_ = -1;
};

std::unique_ptr<MqttOutput> ConnectedOutput(FakePlatform& platform, StalledBroker& broker, int qos) {
  MqttConfig config;
  config.host = "127.0.0.1";
  config.port = broker.port;
  config.topic = "store1";
  config.qos = qos;
  config.queue = 10;
  config.raw = true;  // the raw bytes make each receipt's JSON large
  std::unique_ptr<MqttOutput> mqtt = CreateMqttOutput(platform, config);
  mqtt->Start();
  if (!broker.AcceptOnce()) return nullptr;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!mqtt->Counters().connected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the connect runs on a thread
    platform.Advance(kPollMs);
  }
  return mqtt->Counters().connected ? std::move(mqtt) : nullptr;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// A broker that reads but does not acknowledge: one status publish awaits
// its acknowledgement, the changes meanwhile leave only the latest to follow.
TEST(MqttQueueBoundTest, PrinterStatusChangesWhileOneAwaitsAcknowledgementKeepOnlyTheLatest) {
  if (!MqttAvailable()) GTEST_SKIP() << "this build has no MQTT client library";
  test::LogCapture log{0};
  StalledBroker broker;
  FakePlatform platform;
  std::unique_ptr<MqttOutput> mqtt = ConnectedOutput(platform, broker, 1);
  ASSERT_TRUE(mqtt);
  std::string received;
  auto poll = [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    platform.Advance(kPollMs);
    received += broker.Take();
  };
  for (int n = 0; n < 200; ++n) {
    mqtt->PublishPrinterStatus("status " + std::to_string(n));
    poll();
  }
  for (int n = 0; n < 50; ++n) poll();  // whatever the library still holds
  const std::string topic = "store1/printer";
  ASSERT_EQ(Occurrences(received, topic), 1u);
  const size_t id = received.find(topic) + topic.size();  // QoS 1: the message id follows the topic
  ASSERT_LE(id + 2, received.size());
  broker.Send(std::string{'\x40', '\x02', received[id], received[id + 1]});  // PUBACK
  for (int n = 0; n < 50; ++n) poll();
  EXPECT_EQ(Occurrences(received, topic), 2u);
  EXPECT_NE(received.find("status 199"), std::string::npos);
  mqtt->Stop();
}

TEST(MqttQueueBoundTest, QosZeroReceiptsTheBrokerDoesNotTakeStayWithinTheQueueBound) {
  if (!MqttAvailable()) GTEST_SKIP() << "this build has no MQTT client library";
  test::LogCapture log{0};
  StalledBroker broker;
  FakePlatform platform;
  MqttConfig config;
  config.host = "127.0.0.1";
  config.port = broker.port;
  config.topic = "store1";
  config.qos = 0;
  config.queue = 10;
  config.raw = true;  // the raw bytes make each receipt's JSON large
  std::unique_ptr<MqttOutput> mqtt = CreateMqttOutput(platform, config);
  mqtt->Start();
  ASSERT_TRUE(broker.AcceptOnce());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!mqtt->Counters().connected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the connect runs on a thread
    platform.Advance(kPollMs);
  }
  ASSERT_TRUE(mqtt->Counters().connected);

  const std::string bytes(30000, 'x');  // 40 kB of JSON each: far more than the socket holds
  ReceiptRecord frame;
  frame.bytes = bytes;
  constexpr uint64_t kReceipts = 300;
  for (uint64_t n = 0; n < kReceipts; ++n) {
    frame.sequence = n + 1;
    mqtt->Deliver(frame);
    platform.Advance(kPollMs);
  }
  const OutputCounters counters = mqtt->Counters();
  EXPECT_EQ(counters.sent + counters.dropped + counters.queued, kReceipts);
  EXPECT_LE(counters.queued, config.queue + MosquittoOutput::kMaxInFlight);
  EXPECT_GT(counters.dropped, 0u);
  mqtt->Stop();
}

}  // namespace
}  // namespace tavrik
