#include "load/PrinterSink.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
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


void PrinterSink::Run() {
  std::vector<char> buffer(256 * 1024);
  int connection = -1;
  uint64_t total = 0;
  uint64_t nextEnd = receiptSize_;
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
        StampArrivals(connection);
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
      if (arrival != 0) arrivalLatency_.Add(arrival - *sent);
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
