#include "outputs/mqtt/ConnectAttempt.h"

#include <mosquitto.h>

#include <mutex>
#include <system_error>
#include <thread>

namespace tavrik {

struct ConnectAttempt::Shared {
  std::mutex mutex;
  mosquitto* client = nullptr;
  std::optional<int> result;
  bool abandoned = false;
};

ConnectAttempt::ConnectAttempt(mosquitto* client, const std::string& host, int port, int keepaliveSeconds)
    : shared_(std::make_shared<Shared>()) {
  shared_->client = client;
  try {
    std::thread([shared = shared_, host, port, keepaliveSeconds] {
      const int code = mosquitto_connect_async(shared->client, host.c_str(), port, keepaliveSeconds);
      const std::lock_guard lock(shared->mutex);
      shared->result = code;
      if (shared->abandoned) mosquitto_destroy(shared->client);
    }).detach();
  } catch (const std::system_error&) {
    shared_->result = MOSQ_ERR_NOMEM;  // no thread to be had: try again later
  }
}

ConnectAttempt::~ConnectAttempt() {
  const std::lock_guard lock(shared_->mutex);
  if (shared_->result) {
    if (shared_->client) mosquitto_destroy(shared_->client);
  } else {
    shared_->abandoned = true;
  }
}

std::optional<int> ConnectAttempt::Result() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->result;
}

mosquitto* ConnectAttempt::TakeClient() {
  const std::lock_guard lock(shared_->mutex);
  if (!shared_->result) return nullptr;
  mosquitto* client = shared_->client;
  shared_->client = nullptr;
  return client;
}

}  // namespace tavrik
