#pragma once
// The relay's clients, all served by one epoll thread: each sends a request,
// checks the response head and reads the stream. Against the relay every
// part is parsed and every receipt checked (intact, once, in order) and its
// latency measured; against the fan-out ceiling only bytes are counted.
// Stalled clients send their request and then never read.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "load/LatencyHistogram.h"
#include "load/ReceiptContent.h"
#include "load/ReceiptTally.h"
#include "load/SendTimes.h"
#include "load/StreamParser.h"

namespace tavrik::load {

class ClientSwarm {
 public:
  struct Config {
    StreamParser::Mode mode = StreamParser::Mode::Multipart;
    size_t receiptSize = 1024;
    const SendTimes* times = nullptr;
    ReceiptContent::Mix mix;
  };
  // Running totals over the streaming clients; safe to read while running.
  struct Totals {
    uint64_t frames = 0;   // intact receipts
    uint64_t payload = 0;  // receipt bytes (raw mode: every byte after the head)
    uint64_t wire = 0;     // every byte received
    int64_t cpuNs = 0;     // CPU time of the clients' thread
  };
  struct Summary {
    int clients = 0;
    uint64_t delivered = 0;  // intact receipts, summed over clients
    uint64_t minDelivered = 0;
    uint64_t maxDelivered = 0;
    uint64_t lost = 0;
    uint64_t duplicated = 0;
    uint64_t corrupted = 0;
    uint64_t protocolErrors = 0;
    uint64_t keepAlives = 0;
    uint64_t missingBytes = 0;   // raw mode: bytes fed but not received
    uint64_t incompleteBytes = 0;
    std::vector<std::string> errors;  // the first few, for the report
  };

  explicit ClientSwarm(Config config);
  ~ClientSwarm();
  ClientSwarm(const ClientSwarm&) = delete;
  ClientSwarm& operator=(const ClientSwarm&) = delete;

  // Connects the stalled clients first (so that they get one of the relay's
  // slots), then the streaming ones. Returns an error text or "".
  std::string Connect(int port, int streaming, int stalled);
  void Start();
  // Waits until every streaming client has its response head.
  std::string WaitHeads(double timeoutS) const;
  Totals Snapshot() const;
  // Every streaming client has the receipt lastSeq (raw mode: fedBytes bytes).
  bool CaughtUp(uint64_t lastSeq, uint64_t fedBytes) const;
  // Waits until every streaming client has received seq receipts' worth
  // (raw mode: seq times the receipt size in bytes), or until untilNs.
  bool WaitDelivered(uint64_t seq, int64_t untilNs);
  void Stop();
  // After Stop.
  Summary Finish(uint64_t lastSeq, uint64_t fedBytes);
  // From the feeder's write to the tool's read, and to the kernel's arrival
  // stamp (which leaves out the wait of the tool's thread for a core).
  const LatencyHistogram& Latency() const { return latency_; }
  const LatencyHistogram& ArrivalLatency() const { return arrivalLatency_; }

 private:
  struct Client;
  void Run();
  void ReadClient(Client& client);
  void OnPart(Client& client, StreamParser::PartKind kind, std::string_view body);
  void Fail(Client& client, std::string text);
  void PublishProgress();

  Config config_;
  const ReceiptContent content_;  // the feeder's, to check receipts against
  std::vector<std::unique_ptr<Client>> clients_;
  std::vector<int> stalled_;
  int epoll_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  int64_t now_ = 0;      // when the data being parsed was read
  int64_t arrival_ = 0;  // when the kernel received it
  LatencyHistogram latency_;
  LatencyHistogram arrivalLatency_;
  struct Deferred {
    uint64_t seq;
    int64_t readNs;
    int64_t arrivalNs;
    int64_t printedNs;  // the send time printed in the receipt
  };
  std::vector<Deferred> deferred_;
  std::vector<std::string> failures_;
  // The slowest streaming client's progress, in receipts: paces the feeder.
  std::mutex progressMutex_;
  std::condition_variable progressChanged_;
  std::atomic<uint64_t> slowest_{0};
};

}  // namespace tavrik::load
