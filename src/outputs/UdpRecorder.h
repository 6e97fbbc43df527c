#pragma once
// A recorder that reads receipt text as UDP datagrams: one datagram per
// receipt, cut at line ends when it would exceed kMaxDatagram. A host name
// is looked up off the event thread, at start and again at most once every
// kMinLookupSpacingMs while the socket is not open; receipts meanwhile are
// dropped. Owns its socket and timer; event thread only.
#include <memory>
#include <string>
#include <string_view>

#include "outputs/Output.h"
#include "outputs/OutputsConfig.h"
#include "platform/Platform.h"

namespace tavrik {

class UdpRecorder final : public Output, private SocketEvents {
 public:
  // Below a typical path MTU, so that no datagram is fragmented.
  static constexpr size_t kMaxDatagram = 1399;
  static constexpr int kMinLookupSpacingMs = 1000;

  // name: for log lines, instead of "Recorder udp host:port".
  UdpRecorder(Platform& platform, RecorderConfig config, std::string name = {});
  ~UdpRecorder() override;

  void Start() override;
  void Stop() override;
  void Deliver(const ReceiptRecord& frame) override;
  // Text already in the form the peer reads, sent at once.
  void DeliverText(std::string_view text);
  const std::string& Name() const override { return name_; }
  OutputCounters Counters() const override;

 private:
  bool Open();
  void Opened();
  void Failed(const std::string& reason);
  void OnConnected() override;
  void OnData() override;
  void OnError(int number, const std::string& description) override;

  const RecorderConfig config_;
  const std::string name_;
  std::unique_ptr<Socket> socket_;
  std::unique_ptr<Timer> lookupSpacing_;  // runs for a while after each lookup began
  bool lookingUp_ = false;
  bool failing_ = false;  // the last attempt to open failed (logged once)
  uint64_t sent_ = 0;
  uint64_t dropped_ = 0;
  std::string text_;    // scratch
  std::string unread_;  // scratch
};

}  // namespace tavrik
