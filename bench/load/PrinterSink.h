#pragma once
// The printer behind a pass-through relay (or behind no relay at all, for the
// direct comparison): listens on 127.0.0.1, reads whatever connects as fast
// as it can from a thread of its own, counts the bytes and times each
// receipt's last byte against the feeder's SendTimes. The receipts are of
// one size, so byte k * size ends receipt k. Each receipt is timed twice:
// when the sink's thread reads it, and when the kernel received it
// (SO_TIMESTAMPNS). On a small machine the sink waits for a core behind the
// tool's clients; the kernel's stamp leaves that wait out, as a real printer
// with a CPU of its own would.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "load/LatencyHistogram.h"
#include "load/SendTimes.h"

namespace tavrik::load {

class PrinterSink {
 public:
  struct Latency {
    uint64_t samples = 0;
    int64_t p50 = 0;
    int64_t p99 = 0;
    int64_t max = 0;
  };
  struct Result {
    uint64_t bytes = 0;
    Latency read;     // when the sink's thread read the receipt
    Latency arrival;  // when the kernel received it
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
  // The sink thread's until Stop.
  LatencyHistogram readLatency_;
  LatencyHistogram arrivalLatency_;
};

// A feeder straight into a PrinterSink at the run's rate: the latency a POS
// sees without the relay, for the same machine and load.
PrinterSink::Result MeasureDirect(double rate, size_t receiptSize, int batch, double seconds);

}  // namespace tavrik::load
