#pragma once
// The network source: TCP client, TCP listener, UDP receiver or UDP
// addressed. The listener serves one peer at a time and keeps accepting
// meanwhile: the next peers wait, held unread, and are served in turn the
// moment the one before ends. Every loss of the peer and every socket failure
// ends in a restart of the source that keeps the clients; the frame in
// progress is sent first. Owns its sockets, its timers and the link to a
// printer that the peer's bytes pass through to; event thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "frames/FrameAssembler.h"
#include "passthrough/PrinterLink.h"
#include "platform/Platform.h"
#include "sources/NetworkProtocol.h"
#include "sources/SourceHost.h"
#include "sources/WaitingConnections.h"
#include "tap/StatusResponder.h"

namespace tavrik {

struct NetworkSourceSettings {
  std::string peerHost;  // the peer to connect to, or to receive from (UDP)
  int32_t port = 0;      // the peer's port, or the local one when listening
  bool listen = false;   // TCP: listen for the peer; UDP: receive from anyone
  NetworkProtocol protocol = NetworkProtocol::kTcp;
  int32_t frameTimeoutMs = 0;
  // TCP listener: each peer is passed through to this printer (empty: none).
  std::string printerHost;
  int32_t printerPort = 0;
  // TCP: status queries are answered as a healthy printer would.
  bool answerStatus = false;
};

class NetworkSource : private SocketEvents {
 public:
  static constexpr int32_t kSetUpWatchdogMs = 3000;
  // A peer that refuses or drops the connection at once is tried again at
  // most this often, instead of in a busy loop.
  static constexpr int32_t kMinAttemptSpacingMs = 1000;
  static constexpr int64_t kMaxUnsentReplies = 64 * 1024;
  // A peer that ends its side with status answers still on their way gets
  // this long to read them (as a printer behind the relay would answer).
  static constexpr int32_t kAnswerLingerMs = 2000;

  NetworkSource(Platform& platform, SourceHost& host, FrameAssembler& frames,
                NetworkSourceSettings settings);
  ~NetworkSource() override;

  // Closes the socket and sets the source up again.
  void Restart();
  // Closes the socket and forgets a reconnection that waits for its turn.
  void Stop();

  // Frees the read buffer a burst made grow.
  void ReleaseSpareMemory() { std::string().swap(chunk_); }

  // --- what status reports read ---
  // The served connection's state, or the listener's while none is served.
  SocketState SocketStateNow() const;
  const std::string& RemoteHost() const { return socket_->RemoteHost(); }
  size_t WaitingCount() const { return waiting_.Count(); }
  // The passed-through printer's status as its replies tell it; "unknown"
  // without a printer or before its first answer.
  // Told the passed-through printer's status on every change.
  void SetPrinterStatusListener(std::function<void(const std::string& status)> listener) {
    if (link_) link_->SetStatusListener(std::move(listener));
  }
  void SetDrawerListener(std::function<void(bool pinHigh)> listener) {
    if (link_) link_->SetDrawerListener(std::move(listener));
  }
  std::string PrinterStatusText() const {
    return link_ && link_->Status().Known() ? link_->Status().Describe() : "unknown";
  }

 private:
  void StartTcp();
  void StartUdp();
  void OnConnected() override;
  void OnData() override;
  void OnSendProgress(int32_t bytesSent, int32_t bytesRemaining) override;
  void OnSendComplete() override;
  void OnClosed() override;
  void OnError(int number, const std::string& description) override;

  // The listening socket's events, apart from the served connection's.
  class ListenerEvents : public SocketEvents {
   public:
    explicit ListenerEvents(NetworkSource& source) : source_(source) {}
    void OnConnectionRequest(int32_t requestId) override { source_.OnListenerRequest(requestId); }
    void OnError(int number, const std::string& description) override {
      source_.OnListenerError(number, description);
    }

   private:
    NetworkSource& source_;
  };
  void OnListenerRequest(int32_t requestId);
  void OnListenerError(int number, const std::string& description);
  void Listen();
  bool Serving() const { return socket_->State() != SocketState::kClosed; }
  // Serves the next waiting connection if none is served and the source runs.
  void ServeNextWaiting();
  void BeginServing();
  void OnAnswerLingerEnd();

  // Runs an event's work; a failure in it is logged like a socket error and
  // the source is set up again, keeping the clients.
  template <typename Work>
  void Guarded(Work work);
  void TakeData();
  void AnswerQueries();
  // The peer's connection ended: its frame is complete.
  void SendFrameInProgress();
  void OnPrinterLinkEnded();
  void Reconnect();
  // Sets the source up again at once: the served peer ended cleanly.
  void ServeNext();
  // Asks the relay to restart this source, keeping the clients.
  void RestartItself();
  void OnPaceTick();

  Platform& platform_;
  SourceHost& host_;
  FrameAssembler& frames_;
  const NetworkSourceSettings settings_;
  std::unique_ptr<Socket> socket_;  // the peer's connection, or the UDP socket
  std::unique_ptr<Timer> pace_;     // runs for kMinAttemptSpacingMs after each set-up
  std::unique_ptr<Socket> listener_;  // TCP listener only
  ListenerEvents listenerEvents_{*this};
  WaitingConnections waiting_;
  std::unique_ptr<Timer> answerLinger_;  // with status answers only
  bool reconnectDue_ = false;
  bool restartingItself_ = false;  // the restart under way is one this source asked for
  // The served connection is closing or the source is being set up again: a
  // peer that asks meanwhile waits, so that the set-up cannot close it.
  bool ending_ = false;
  std::string chunk_;  // reused for every arrival
  std::unique_ptr<PrinterLink> link_;  // with a printer only
  tap::StatusResponder responder_;     // a fresh one for every connection
  std::string replies_;
  // Answers the peer has not read yet; beyond kMaxUnsentReplies a peer that
  // keeps asking without reading gets no more, so memory stays bounded.
  int64_t unsentReplies_ = 0;
};

}  // namespace tavrik
