#pragma once
// The printer behind a pass-through relay (or behind no relay at all, for the
// direct comparison): listens on 127.0.0.1, reads whatever connects as fast
// as it can from a thread of its own, counts the bytes and times each
// receipt's last byte against the feeder's SendTimes. The receipts are of
// one size, so byte k * size ends receipt k.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "load/LatencyHistogram.h"
#include "load/SendTimes.h"

namespace tavrik::load {

class PrinterSink {
 public:
  struct Result {
    uint64_t bytes = 0;
    uint64_t latencySamples = 0;
    int64_t p50 = 0;
    int64_t p99 = 0;
    int64_t max = 0;
  };

  explicit PrinterSink(size_t receiptSize);
  ~PrinterSink();
  PrinterSink(const PrinterSink&) = delete;
  PrinterSink& operator=(const PrinterSink&) = delete;

  // The listening port, or 0 when the sink could not listen.
  int Port() const { return port_; }
  // Starts reading; receipt times come from times, which must outlive Stop.
  void Start(const SendTimes* times);
  uint64_t Bytes() const { return bytes_.load(std::memory_order_acquire); }
  // Waits up to seconds until bytes have arrived; true when they have.
  bool WaitFor(uint64_t bytes, double seconds) const;
  Result Stop();

 private:
  void Run();

  const size_t receiptSize_;
  int listener_ = -1;
  int port_ = 0;
  const SendTimes* times_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> bytes_{0};
  LatencyHistogram latency_;  // the sink thread's until Stop
};

// A feeder straight into a PrinterSink at the run's rate: the latency a POS
// sees without the relay, for the same machine and load.
PrinterSink::Result MeasureDirect(double rate, size_t receiptSize, int batch, double seconds);

}  // namespace tavrik::load
