#pragma once
// The MQTT output on libmosquitto, driven from the event thread: a poll
// timer runs mosquitto_loop with a zero timeout (a select that never waits),
// so the client's socket, keep-alive and acknowledgements are handled
// without a thread of its own and without ever blocking the relay; only the
// broker's name lookup runs on a thread (see ConnectAttempt). Each
// connection is a fresh client: receipts it did not get acknowledged go back
// to the front of the queue, so a broker restart loses none (QoS 1). Owns
// the client and its timer.
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "outputs/MqttOutput.h"
#include "outputs/OutageLog.h"
#include "outputs/mqtt/ConnectAttempt.h"

struct mosquitto;

namespace tavrik {

class MosquittoOutput final : public MqttOutput {
 public:
  static constexpr int kPollMs = 20;
  static constexpr int kMinRetryMs = 1000;
  static constexpr int kMaxRetryMs = 30000;
  // Receipts published and not yet acknowledged (QoS 1) or not yet written
  // to the socket (QoS 0); more wait in the queue.
  static constexpr size_t kMaxInFlight = 100;
  static constexpr int kProvenAfterMs = 1000;

  MosquittoOutput(Platform& platform, MqttConfig config);
  ~MosquittoOutput() override;

  void Start() override;
  void Stop() override;
  void Deliver(const ReceiptRecord& frame) override;
  void PublishPrinterStatus(std::string_view description) override;
  void PublishEvent(std::string_view json) override;
  const std::string& Name() const override { return name_; }
  OutputCounters Counters() const override;

 private:
  enum class Link { kStopped, kConnecting, kConnected, kWaiting };
  // A receipt's document, or a rule's event.
  struct Message {
    std::string payload;
    bool event = false;
  };

  // Empty once the client is set up; the client is gone when it could not be.
  std::optional<MqttSetUpProblem> CreateClient();
  void DestroyClient();
  void Connect();
  bool AttemptReturned();
  void Lost(const std::string& reason);
  void OnPollTick();
  void OnConnect(int code);
  void OnPublished(int messageId);
  void Proven();
  void PublishPrinterStatus();
  void Enqueue(Message message);
  void Flush();
  bool Publish(const std::string& topic, const std::string& payload, int qos, bool retain, int* messageId = nullptr);

  const MqttConfig config_;
  const std::string name_;
  const std::string receiptTopic_;
  const std::string statusTopic_;
  const std::string printerTopic_;
  const std::string eventTopic_;
  std::unique_ptr<Timer> poll_;
  mosquitto* client_ = nullptr;  // with attempt_ while it connects
  std::unique_ptr<ConnectAttempt> attempt_;
  Link link_ = Link::kStopped;
  int refusal_ = 0;  // the broker's CONNACK code when it refused us
  int retryMs_ = kMinRetryMs;
  int waitMs_ = 0;  // until the next attempt, in kWaiting
  bool proven_ = false;  // this connection carried a receipt or stayed up long enough
  int upMs_ = 0;         // how long this connection is up, until proven
  bool flushing_ = false;
  const int* publishing_ = nullptr;  // the message id of the receipt being published
  bool writtenAtOnce_ = false;       // ... which the publish call wrote already
  std::deque<Message> queue_;
  std::map<int, Message> inFlight_;  // by message id, which grows with each publish
  std::string printerStatus_;  // the latest, published on every connect
  int printerMessageId_ = 0;   // its publish awaiting acknowledgement, 0 if none
  bool printerStatusPending_ = false;  // changed since that publish
  uint64_t sent_ = 0;
  uint64_t dropped_ = 0;
  OutageLog outage_;
};

}  // namespace tavrik
