#pragma once
// A recorder that reads receipt text on a TCP port: the relay connects out,
// at once and then at most once a second, and keeps receipts in a bounded
// queue (oldest dropped first) while it is not connected or the recorder
// reads slowly. Owns its socket and pacing timer; event thread only.
#include <deque>
#include <memory>
#include <string>

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

  TcpRecorder(Platform& platform, RecorderConfig config);
  ~TcpRecorder() override;

  void Start() override;
  void Stop() override;
  void Deliver(const FrameRecord& frame) override;
  const std::string& Name() const override { return name_; }
  OutputCounters Counters() const override;

 private:
  enum class Link { kStopped, kConnecting, kConnected, kWaiting };

  void Connect();
  void Disconnected(const std::string& reason);
  void OnPaceTick();
  void Flush();
  void OnConnected() override;
  void OnData() override;
  void OnSendProgress(int32_t bytesSent, int32_t bytesRemaining) override;
  void OnSendComplete() override;
  void OnClosed() override;
  void OnError(int number, const std::string& description) override;

  Platform& platform_;
  const RecorderConfig config_;
  const std::string name_;
  std::unique_ptr<Socket> socket_;
  std::unique_ptr<Timer> pace_;
  Link link_ = Link::kStopped;
  bool reconnectDue_ = false;
  std::deque<Payload> queue_;
  int32_t unsentBytes_ = 0;
  uint64_t sent_ = 0;
  uint64_t dropped_ = 0;
  OutageLog outage_;
  std::string text_;   // scratch
  std::string unread_;  // scratch for what the recorder sends back
};

}  // namespace tavrik
