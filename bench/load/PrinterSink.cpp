#include "load/PrinterSink.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "load/Feeder.h"
#include "load/Loopback.h"
#include "load/MonotonicClock.h"

namespace tavrik::load {

PrinterSink::PrinterSink(size_t receiptSize) : receiptSize_(receiptSize) {
  listener_ = ListenLoopback(0);
  if (listener_ < 0) return;
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port_ = ntohs(address.sin_port);
}

PrinterSink::~PrinterSink() {
  Stop();
  if (listener_ >= 0) close(listener_);
}

void PrinterSink::Start(const SendTimes* times) {
  times_ = times;
  thread_ = std::thread([this] { Run(); });
}

bool PrinterSink::WaitFor(uint64_t bytes, double seconds) const {
  const int64_t until = MonotonicNs() + static_cast<int64_t>(seconds * 1e9);
  while (Bytes() < bytes) {
    if (MonotonicNs() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

PrinterSink::Result PrinterSink::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  const auto figures = [](const LatencyHistogram& histogram) {
    return Latency{histogram.Count(), histogram.Percentile(0.50), histogram.Percentile(0.99), histogram.Max()};
  };
  return {Bytes(), figures(readLatency_), figures(arrivalLatency_)};
}

namespace {

int64_t RealtimeNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Reads like recv; arrival: the kernel's receive stamp of the last piece
// read (CLOCK_REALTIME), or 0 without one.
ssize_t ReceiveStamped(int fd, std::vector<char>& buffer, int64_t& arrival) {
  iovec data{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = recvmsg(fd, &message, 0);
  arrival = 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); n > 0 && c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
    timespec stamp{};
    std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
    arrival = static_cast<int64_t>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
  }
  return n;
}

}  // namespace

void PrinterSink::Run() {
  std::vector<char> buffer(256 * 1024);
  int connection = -1;
  uint64_t total = 0;
  uint64_t nextEnd = receiptSize_;
  // The feeder's times are monotonic, the kernel's stamps wall-clock time.
  const int64_t wallClockAhead = RealtimeNs() - MonotonicNs();
  while (!stop_.load()) {
    pollfd ready[2] = {{listener_, POLLIN, 0}, {connection, POLLIN, 0}};
    if (poll(ready, connection >= 0 ? 2 : 1, 50) <= 0) continue;
    if (ready[0].revents & POLLIN) {
      // One printer connection at a time: the newest one.
      const int accepted = accept(listener_, nullptr, nullptr);
      if (accepted >= 0) {
        if (connection >= 0) close(connection);
        connection = accepted;
        SetNoDelay(connection);
        const int on = 1;
        setsockopt(connection, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
      }
      continue;
    }
    if (connection < 0 || (ready[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    int64_t arrival = 0;
    const ssize_t n = ReceiveStamped(connection, buffer, arrival);
    if (n <= 0) {
      close(connection);
      connection = -1;
      continue;
    }
    total += static_cast<uint64_t>(n);
    const int64_t now = MonotonicNs();
    for (; nextEnd <= total; nextEnd += receiptSize_) {
      const std::optional<int64_t> sent = times_ ? times_->Find(nextEnd / receiptSize_) : std::nullopt;
      if (!sent) continue;
      readLatency_.Add(now - *sent);
      if (arrival != 0) arrivalLatency_.Add(arrival - wallClockAhead - *sent);
    }
    bytes_.store(total, std::memory_order_release);
  }
  if (connection >= 0) close(connection);
}

PrinterSink::Result MeasureDirect(double rate, size_t receiptSize, int batch, double seconds) {
  auto times = std::make_unique<SendTimes>();
  PrinterSink sink(receiptSize);
  if (sink.Port() == 0) return {};
  sink.Start(times.get());
  const int fd = ConnectLoopback(sink.Port(), 5);
  if (fd < 0) return sink.Stop();
  Feeder::Config config;
  config.rate = rate;
  config.receiptSize = receiptSize;
  config.batch = batch;
  config.window = 0;  // nobody but the sink to wait for
  config.seconds = seconds;
  Feeder feeder(fd, config, *times);
  feeder.Start();
  feeder.Join();
  sink.WaitFor(feeder.Bytes(), 10);
  return sink.Stop();
}

}  // namespace tavrik::load
