#pragma once
// A relay on the fake platform, with helpers to play its peers.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "controller/Relay.h"
#include "platform/fake/FakePlatform.h"
#include "support/LogCapture.h"

namespace tavrik::test {

class FakeService : public ServiceControl {
 public:
  bool StopRequested() override { return stop; }
  void StopService() override { ++stops; }
  void Heartbeat() override { ++heartbeats; }
  void ReportStatus(const std::string& status) override { statuses.push_back(status); }
  bool stop = false;
  int stops = 0;
  int heartbeats = 0;
  std::vector<std::string> statuses;
};

class RelayFixture : public ::testing::Test {
 protected:
  // Creates the relay; its components can then be prepared before Start.
  void Create() { relay = std::make_unique<Relay>(platform, settings, service); }
  void Start() {
    if (!relay) Create();
    relay->Start();
  }
  // Components in the order the relay creates them: the keep-alive and frame
  // timers; the network source's socket; the listener, then the client
  // sockets in the order they are numbered.
  FakeSocket& SourceSocket() { return *platform.Sockets().at(0); }
  // The TCP listener source's listening socket, made when it first listens;
  // a connection it takes is served on SourceSocket().
  FakeSocket& SourceListener() { return ListeningOn(platform, settings.sourcePort); }
  static FakeSocket& ListeningOn(FakePlatform& on, int port) {
    for (FakeSocket* socket : on.Sockets()) {
      if (socket->listenCalls > 0 && socket->listenPort == port) return *socket;
    }
    throw std::logic_error("nothing listens on port " + std::to_string(port));
  }
  FakeSocket& Listener() { return *platform.Sockets().at(1); }
  FakeSocket& Client(int i) { return *platform.Sockets().at(2 + static_cast<size_t>(i)); }
  FakeSerialPort& Serial() { return *platform.Serial(); }
  FakeTimer& KeepAlive() { return *platform.Timers().at(0); }
  FakeTimer& Timeout() { return *platform.Timers().at(1); }

  // Connects a client that asks for the stream; returns its index.
  int StreamingClient() {
    Listener().RequestConnection("127.0.0.1");
    for (int i = 0; i < relay->Clients().SocketCount(); ++i) {
      if (Client(i).State() == SocketState::kConnected && !relay->Clients().IsStreaming(i)) {
        Client(i).Arrive("GET / HTTP/1.0\r\n\r\n");
        Client(i).sent.clear();
        return i;
      }
    }
    ADD_FAILURE() << "no client accepted";
    return -1;
  }
  // Frame parts received by a client since it started streaming.
  static std::vector<std::string> Bodies(const FakeSocket& client, std::string_view type = "text/plaintext") {
    std::vector<std::string> bodies;
    const std::string head = "Content-Type: " + std::string(type) + "\r\n\r\n";
    const std::string tail = "\r\n--ABCDEF12345678\r\n";
    const std::string& s = client.sent;
    for (size_t at = 0; (at = s.find(head, at)) != std::string::npos;) {
      const size_t body = at + head.size();
      const size_t end = s.find(tail, body);
      if (end == std::string::npos) break;
      bodies.push_back(s.substr(body, end - body));
      at = end + tail.size();
    }
    return bodies;
  }

  LogCapture log{0};
  FakePlatform platform;
  FakeService service;
  Settings settings;
  std::unique_ptr<Relay> relay;
};

}  // namespace tavrik::test
