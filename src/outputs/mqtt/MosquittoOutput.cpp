#include "outputs/mqtt/MosquittoOutput.h"

#include <mosquitto.h>

#include <algorithm>
#include <fstream>
#include <utility>

#include "log/Log.h"
#include "json/JsonString.h"
#include "outputs/ReceiptJson.h"

namespace tavrik {
namespace {

// Initialised once and never cleaned up: a name lookup still running at
// exit may yet destroy its client.
struct Library {
  Library() { mosquitto_lib_init(); }
};

void InitialiseLibrary() { static Library library; }

bool Readable(const std::string& path) { return std::ifstream(path).good(); }

// mosquitto_tls_set tells only that one of its files would not open.
MqttSetUpProblem TlsProblem(const MqttConfig& config, int code) {
  if (code == MOSQ_ERR_NOT_SUPPORTED) return {"mqtt.ca_file", "this MQTT library has no TLS support"};
  const std::pair<const char*, const std::string*> files[] = {
      {"mqtt.ca_file", &config.caFile}, {"mqtt.cert_file", &config.certFile}, {"mqtt.key_file", &config.keyFile}};
  for (const auto& [key, path] : files) {
    if (!path->empty() && !Readable(*path)) return {key, "cannot read " + *path};
  }
  return {"mqtt.ca_file", std::string("TLS set-up failed: ") + mosquitto_strerror(code)};
}

// The set-up of a fresh client: the will, the login and TLS. A configured
// login or TLS that cannot be set up leaves the client unusable, so that it
// never connects without them.
std::optional<MqttSetUpProblem> SetUp(mosquitto* client, const MqttConfig& config, const std::string& statusTopic) {
  int code = mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  if (code != MOSQ_ERR_SUCCESS) return MqttSetUpProblem{"mqtt", mosquitto_strerror(code)};
  code = mosquitto_will_set(client, statusTopic.c_str(), 7, "offline", 1, true);
  if (code != MOSQ_ERR_SUCCESS) return MqttSetUpProblem{"mqtt.topic", mosquitto_strerror(code)};
  if (!config.username.empty()) {
    code = mosquitto_username_pw_set(client, config.username.c_str(),
                                     config.password.empty() ? nullptr : config.password.c_str());
    if (code != MOSQ_ERR_SUCCESS) return MqttSetUpProblem{"mqtt.username", mosquitto_strerror(code)};
  }
  if (!config.caFile.empty()) {
    code = mosquitto_tls_set(client, config.caFile.c_str(), nullptr,
                             config.certFile.empty() ? nullptr : config.certFile.c_str(),
                             config.keyFile.empty() ? nullptr : config.keyFile.c_str(), nullptr);
    if (code != MOSQ_ERR_SUCCESS) return TlsProblem(config, code);
  }
  return std::nullopt;
}

}  // namespace

bool MqttAvailable() { return true; }

std::optional<MqttSetUpProblem> CheckMqttSetUp(const MqttConfig& config) {
  InitialiseLibrary();
  mosquitto* client = mosquitto_new(config.clientId.c_str(), true, nullptr);
  if (!client) return MqttSetUpProblem{"mqtt.client_id", "cannot create the MQTT client"};
  std::optional<MqttSetUpProblem> problem = SetUp(client, config, config.topic + "/status");
  mosquitto_destroy(client);
  return problem;
}

std::unique_ptr<MqttOutput> CreateMqttOutput(Platform& platform, const MqttConfig& config) {
  return std::make_unique<MosquittoOutput>(platform, config);
}

MosquittoOutput::MosquittoOutput(Platform& platform, MqttConfig config)
    : config_(std::move(config)),
      name_("MQTT " + config_.host + ":" + std::to_string(config_.port)),
      receiptTopic_(config_.topic + "/receipt"),
      statusTopic_(config_.topic + "/status"),
      printerTopic_(config_.topic + "/printer"),
      eventTopic_(config_.topic + "/event"),
      poll_(platform.CreateTimer()) {
  InitialiseLibrary();
  poll_->SetTickHandler([this] { OnPollTick(); });
}

MosquittoOutput::~MosquittoOutput() {
  poll_->Stop();
  attempt_.reset();
  DestroyClient();
}

std::optional<MqttSetUpProblem> MosquittoOutput::CreateClient() {
  client_ = mosquitto_new(config_.clientId.c_str(), true, this);
  if (!client_) return MqttSetUpProblem{"mqtt.client_id", "cannot create the MQTT client"};
  if (std::optional<MqttSetUpProblem> problem = SetUp(client_, config_, statusTopic_)) {
    DestroyClient();
    return problem;
  }
  mosquitto_connect_callback_set(client_, [](mosquitto*, void* self, int code) {
    static_cast<MosquittoOutput*>(self)->OnConnect(code);
  });
  mosquitto_publish_callback_set(client_, [](mosquitto*, void* self, int messageId) {
    static_cast<MosquittoOutput*>(self)->OnPublished(messageId);
  });
  return std::nullopt;
}

void MosquittoOutput::DestroyClient() {
  if (client_) mosquitto_destroy(client_);
  client_ = nullptr;
}

void MosquittoOutput::Start() {
  poll_->Start(kPollMs);
  Connect();
}

void MosquittoOutput::Stop() {
  poll_->Stop();
  if (link_ == Link::kConnected) {
    // A clean end: the will is not sent then, so say it ourselves.
    Publish(statusTopic_, "offline", 0, true);
    mosquitto_disconnect(client_);
    mosquitto_loop_write(client_, 1);
  }
  attempt_.reset();
  link_ = Link::kStopped;
}

// The broker's name is looked up on a thread of the attempt's own; the poll
// tick picks the result up.
void MosquittoOutput::Connect() {
  DestroyClient();
  attempt_.reset();
  link_ = Link::kConnecting;
  refusal_ = 0;
  if (const std::optional<MqttSetUpProblem> problem = CreateClient()) return Lost(problem->problem);
  attempt_ = std::make_unique<ConnectAttempt>(client_, config_.host, config_.port, config_.keepalive);
  client_ = nullptr;
}

// True once the attempt returned and the client is back, connected or lost.
bool MosquittoOutput::AttemptReturned() {
  if (!attempt_) return true;
  const std::optional<int> code = attempt_->Result();
  if (!code) return false;
  client_ = attempt_->TakeClient();
  attempt_.reset();
  if (*code != MOSQ_ERR_SUCCESS) Lost(*code == MOSQ_ERR_ERRNO ? "cannot connect" : mosquitto_strerror(*code));
  return true;
}

void MosquittoOutput::Lost(const std::string& reason) {
  if (link_ == Link::kStopped) return;
  outage_.Disconnected(name_, reason);
  // Unacknowledged receipts go first next time, in the order they were published.
  for (auto it = inFlight_.rbegin(); it != inFlight_.rend(); ++it) queue_.push_front(std::move(it->second));
  inFlight_.clear();
  while (queue_.size() > static_cast<size_t>(config_.queue)) {
    queue_.pop_front();
    ++dropped_;
    outage_.Dropped();
  }
  link_ = Link::kWaiting;
  printerMessageId_ = 0;
  waitMs_ = retryMs_;
  retryMs_ = std::min(retryMs_ * 2, kMaxRetryMs);
}

void MosquittoOutput::OnPollTick() {
  if (link_ == Link::kWaiting) {
    waitMs_ -= kPollMs;
    if (waitMs_ <= 0) Connect();
    return;
  }
  if (!AttemptReturned()) return;
  if (link_ != Link::kConnecting && link_ != Link::kConnected) return;
  const int code = mosquitto_loop(client_, 0, 1);
  if (refusal_ != 0) {
    Lost(mosquitto_connack_string(refusal_));
  } else if (code != MOSQ_ERR_SUCCESS) {
    Lost(code == MOSQ_ERR_ERRNO ? "connection failed" : mosquitto_strerror(code));
  } else if (link_ == Link::kConnected && !proven_) {
    upMs_ += kPollMs;
    if (upMs_ >= kProvenAfterMs) Proven();
  }
}

// Called inside mosquitto_loop: a refusal is acted on when the loop returns.
void MosquittoOutput::OnConnect(int code) {
  if (code != 0) {
    refusal_ = code;
    return;
  }
  link_ = Link::kConnected;
  proven_ = false;
  upMs_ = 0;
  Publish(statusTopic_, "online", 1, true);
  if (!printerStatus_.empty()) PublishPrinterStatus();
  Flush();
}

void MosquittoOutput::Proven() {
  proven_ = true;
  retryMs_ = kMinRetryMs;
  outage_.Connected(name_);
}

// QoS 1: the broker acknowledged it. QoS 0: it is written to the socket,
// which may happen within the publish call itself.
void MosquittoOutput::OnPublished(int messageId) {
  if (inFlight_.erase(messageId) > 0) {
    ++sent_;
    if (!proven_) Proven();
  } else if (printerMessageId_ != 0 && messageId == printerMessageId_) {
    printerMessageId_ = 0;
    if (printerStatusPending_) PublishPrinterStatus();
  } else if (publishing_ && *publishing_ == messageId) {
    writtenAtOnce_ = true;
  }
  Flush();
}

void MosquittoOutput::Deliver(const ReceiptRecord& frame) {
  Message message;
  FormatReceiptJson(frame, config_.raw, message.payload);
  if (config_.png && !frame.png.empty()) AppendPictureField(frame.png, message.payload);
  if (!config_.till.empty()) {
    message.payload.pop_back();  // the closing brace
    message.payload += ",\"till\":";
    AppendJsonString(message.payload, config_.till);
    message.payload += '}';
  }
  Enqueue(std::move(message));
}

void MosquittoOutput::PublishEvent(std::string_view json) { Enqueue(Message{std::string(json), true}); }

void MosquittoOutput::Enqueue(Message message) {
  queue_.push_back(std::move(message));
  if (queue_.size() > static_cast<size_t>(config_.queue)) {
    queue_.pop_front();
    ++dropped_;
    outage_.Dropped();
  }
  Flush();
}

void MosquittoOutput::PublishPrinterStatus(std::string_view description) {
  printerStatus_ = description;
  printerStatusPending_ = true;
  if (link_ == Link::kConnected && printerMessageId_ == 0) PublishPrinterStatus();
}

void MosquittoOutput::PublishPrinterStatus() {
  printerStatusPending_ = false;
  int messageId = 0;
  if (Publish(printerTopic_, printerStatus_, 1, true, &messageId)) printerMessageId_ = messageId;
}

void MosquittoOutput::Flush() {
  if (flushing_) return;  // a publish callback raised while publishing
  flushing_ = true;
  // QoS 0 receipts count too: the library would queue every one the socket
  // cannot take yet, without a bound.
  while (link_ == Link::kConnected && !queue_.empty() && inFlight_.size() < kMaxInFlight) {
    int messageId = 0;
    publishing_ = &messageId;  // the library sets it before it writes
    writtenAtOnce_ = false;
    const Message& message = queue_.front();
    if (!Publish(message.event ? eventTopic_ : receiptTopic_, message.payload, config_.qos, false, &messageId)) break;
    if (writtenAtOnce_) {
      ++sent_;
    } else {
      inFlight_.emplace(messageId, std::move(queue_.front()));
    }
    queue_.pop_front();
  }
  publishing_ = nullptr;
  flushing_ = false;
}

bool MosquittoOutput::Publish(const std::string& topic, const std::string& payload, int qos, bool retain,
                              int* messageId) {
  const int code = mosquitto_publish(client_, messageId, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), qos, retain);
  return code == MOSQ_ERR_SUCCESS;
}

OutputCounters MosquittoOutput::Counters() const {
  return {link_ == Link::kConnected && proven_, queue_.size() + inFlight_.size(), sent_, dropped_};
}

}  // namespace tavrik
