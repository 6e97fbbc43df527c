#pragma once
// One connection attempt of a libmosquitto client, made on a thread of its
// own: mosquitto_connect_async looks the broker's name up with getaddrinfo,
// which can block for many seconds when a DNS server is slow or gone, and
// the event thread must never wait on it (Asio's own resolver runs lookups on
// a thread for the same reason). The event thread asks for the result on its
// poll tick; until then the client belongs to the attempt. An attempt given
// up while its lookup still runs leaves the client to the thread, which
// destroys it when the lookup returns.
#include <memory>
#include <optional>
#include <string>

struct mosquitto;

namespace tavrik {

class ConnectAttempt {
 public:
  // Starts connecting client to host:port. The attempt owns the client.
  ConnectAttempt(mosquitto* client, const std::string& host, int port, int keepaliveSeconds);
  ~ConnectAttempt();
  ConnectAttempt(const ConnectAttempt&) = delete;
  ConnectAttempt& operator=(const ConnectAttempt&) = delete;

  // mosquitto_connect_async's result once it returned, empty before. Once it
  // has one, TakeClient hands the client back.
  std::optional<int> Result() const;
  mosquitto* TakeClient();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace tavrik
