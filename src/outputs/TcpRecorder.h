#pragma once
// A recorder that reads receipt text on a TCP port: the relay connects out,
// at once and then at most once a second, and keeps receipts in a bounded
// queue (oldest dropped first) while it is not connected or the recorder
// reads slowly. A receipt counts as sent once the recorder acknowledged its
// bytes; those still unacknowledged when the connection breaks go back to
// the front of the queue, so the recorder may see one twice. A connection
// counts as back (logged, shown connected) only once a receipt got through
// or it stayed up a second: one that the recorder resets at once is part of
// the outage. Owns its socket and timers; event thread only.
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "outputs/OutageLog.h"
#include "outputs/Output.h"
#include "outputs/OutputsConfig.h"
#include "platform/Platform.h"

namespace tavrik {

class TcpRecorder final : public Output, private SocketEvents {
 public:
  static constexpr int kMinAttemptSpacingMs = 1000;
  // Receipts wait in the queue while this many bytes are still unsent.
  static constexpr int32_t kMaxUnsentBytes = 65536;
  // ... or while this many receipts are sent and not yet acknowledged.
  static constexpr size_t kMaxUnacknowledged = 1000;
  // How often acknowledgements are looked for while receipts await them.
  static constexpr int kAckCheckMs = 100;
  // A connection that carried no receipt yet is back after this long.
  static constexpr int kProvenAfterMs = 1000;

  // name: for log lines, instead of "Recorder tcp host:port"; what: the
  // things it passes on, as its log lines count them.
  TcpRecorder(Platform& platform, RecorderConfig config, std::string name = {}, std::string what = "receipts");
  ~TcpRecorder() override;

  void Start() override;
  void Stop() override;
  void Deliver(const ReceiptRecord& frame) override;
  // Text already in the form the peer reads, as one more item of the queue.
  void DeliverText(std::string_view text);
  const std::string& Name() const override { return name_; }
  OutputCounters Counters() const override;

 private:
  enum class Link { kStopped, kConnecting, kConnected, kWaiting };
  struct Unacknowledged {
    Payload receipt;
    int64_t end = 0;  // where it ends in the bytes handed to this connection
  };

  void Connect();
  void Disconnected(const std::string& reason);
  void OnPaceTick();
  void OnAckTick();
  void Flush();
  void CountAcknowledged();
  void Proven();
  void TakeBackUnacknowledged();
  void OnConnected() override;
  void OnData() override;
  void OnSendProgress(int32_t bytesSent, int32_t bytesRemaining) override;
  void OnSendComplete() override;
  void OnClosed() override;
  void OnError(int number, const std::string& description) override;

  const RecorderConfig config_;
  const std::string name_;
  std::unique_ptr<Socket> socket_;
  std::unique_ptr<Timer> pace_;
  std::unique_ptr<Timer> ackCheck_;  // runs while connected and something is unsettled
  Link link_ = Link::kStopped;
  bool reconnectDue_ = false;
  bool proven_ = false;  // this connection carried a receipt or stayed up long enough
  int idleTicks_ = 0;    // ack checks of this connection with nothing unacknowledged
  std::deque<Payload> queue_;
  std::deque<Unacknowledged> unacknowledged_;
  int64_t handedBytes_ = 0;  // to this connection's socket
  int32_t unsentBytes_ = 0;
  uint64_t sent_ = 0;
  uint64_t dropped_ = 0;
  OutageLog outage_;
  std::string text_;   // scratch
  std::string unread_;  // scratch for what the recorder sends back
};

}  // namespace tavrik
