#pragma once
// The source peer: one TCP connection to the relay's source port, written
// from a thread of its own. Prints receipts numbered from 1, either at full
// speed (rate 0: several receipts per write) or at a set number per second
// (one write per receipt). Records in SendTimes when each receipt's last byte
// was written.
//
// The relay reads its source as fast as it can and drops parts for clients
// that fall too far behind, so flooding it measures its drop policy, not its
// throughput. Full speed is therefore closed-loop: at most `window` receipts
// are out that the slowest client has not received yet (0: no limit).
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "load/ReceiptContent.h"
#include "load/SendTimes.h"

namespace tavrik::load {

class Feeder {
 public:
  struct Config {
    double rate = 0;  // receipts per second; 0 = as fast as the relay reads
    size_t receiptSize = 1024;
    int batch = 16;       // receipts per write at full speed
    uint64_t window = 0;  // receipts ahead of the slowest client at full speed; 0 = no limit
    double seconds = 10;
    ReceiptContent::Mix mix;
    // Blocks until every client has receipt seq or the time (ns) is reached.
    std::function<bool(uint64_t seq, int64_t untilNs)> waitDelivered;
  };

  // Takes the connected descriptor.
  Feeder(int fd, Config config, SendTimes& times);
  ~Feeder();
  Feeder(const Feeder&) = delete;
  Feeder& operator=(const Feeder&) = delete;

  void Start();
  void Join();

  // After Join: the last receipt written whole, bytes written, any failure.
  uint64_t LastSeq() const { return lastSeq_.load(); }
  uint64_t Bytes() const { return bytes_.load(); }
  int64_t StartNs() const { return startNs_; }
  int64_t StopNs() const { return stopNs_; }
  int64_t CpuNs() const { return cpuNs_; }
  const std::string& Error() const { return error_; }

 private:
  void Run();
  // Writes out_ whole; ends_ holds each receipt's end offset in out_.
  bool WriteBatch(uint64_t firstSeq);
  void Build(uint64_t seq);
  // Holds the batch that ends with seq until it fits the window; false when
  // the run is over or the clients stopped receiving.
  bool AwaitWindow(uint64_t lastOfBatch, int64_t deadline);

  int fd_;
  Config config_;
  SendTimes& times_;
  ReceiptContent content_;
  std::string out_;
  std::vector<size_t> ends_;
  std::thread thread_;
  std::atomic<uint64_t> lastSeq_{0};
  std::atomic<uint64_t> bytes_{0};
  int64_t startNs_ = 0;
  int64_t stopNs_ = 0;
  int64_t cpuNs_ = 0;
  std::string error_;
};

}  // namespace tavrik::load
