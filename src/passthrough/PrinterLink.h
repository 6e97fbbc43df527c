#pragma once
// Passes one POS connection through to a network printer and back, byte for
// byte. The network source owns the link and the POS socket and reports the
// POS socket's events to it; the link owns the printer socket and a timer.
// Event thread only.
//
//   Open --> kConnecting --printer connected--> kForwarding --POS closed--> kDraining
//                 |                                  |                         |
//                 | refused / timed out              | printer closed/failed   | printer closed, or 2 s
//                 v                                  v                         v
//             end at once                        kEnding: the printer's last replies reach the POS
//                                                (or 2 s pass), then end
//
// "End" closes the printer connection and asks the owner to close the POS
// connection. Each direction holds at most about kMaxWaiting bytes: beyond
// that the link stops reading the side that sends, so that a printer that
// does not take them holds the POS back through TCP, and a POS that does
// not read holds the printer back.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "passthrough/PayloadPool.h"
#include "platform/Platform.h"
#include "tap/PrinterStatusMonitor.h"

namespace tavrik {

class PrinterLink : private SocketEvents {
 public:
  enum class State { kIdle, kConnecting, kForwarding, kDraining, kEnding };

  static constexpr size_t kMaxWaiting = 64 * 1024;
  // Reading the held-back side again once its bytes drained to this.
  static constexpr size_t kResumeWaiting = kMaxWaiting / 2;
  // Replies still passed back after the POS closed, and the time the POS has
  // to take the printer's last replies.
  static constexpr int32_t kLingerMs = 2000;
  // A printer that neither accepts nor refuses counts as unreachable.
  static constexpr int32_t kConnectTimeoutMs = 5000;

  // onEnd: the POS connection must be closed now; called from the link's
  // own events, never from a call into it.
  PrinterLink(Platform& platform, std::string host, int32_t port, std::function<void()> onEnd);
  ~PrinterLink() override;
  PrinterLink(const PrinterLink&) = delete;
  PrinterLink& operator=(const PrinterLink&) = delete;

  // A POS connection was accepted on pos: connects to the printer. The link
  // uses pos until Close. False (logged): the printer cannot be tried, close
  // the POS connection now.
  bool Open(Socket& pos);
  // Bytes the POS sent, as read from the POS socket.
  void FromPos(std::string_view chunk);
  // The POS socket's send queue drained to remaining bytes, or completely.
  void OnPosSendProgress(int32_t remaining);
  void OnPosSendComplete();
  // The POS ended its side. True: the link keeps the POS connection open for
  // the printer's last replies and ends it later; false: close it now.
  bool OnPosClosed();
  // Drops the printer connection at once, without calling onEnd (the POS
  // connection failed, or the source is set up again).
  void Close();

  State CurrentState() const { return state_; }
  bool IsOpen() const { return state_ != State::kIdle; }
  // Bytes handed to a socket (or held until the printer connects) and not yet sent.
  size_t WaitingForPrinter() const { return toPrinter_; }
  size_t WaitingForPos() const { return toPos_; }
  const tap::PrinterStatus& Status() const { return monitor_.Status(); }
  // Told the printer's whole status (e.g. "online, paper end") on every change.
  void SetStatusListener(std::function<void(const std::string& status)> listener) {
    statusListener_ = std::move(listener);
  }
  // Told the drawer connector's level on every reply that carries it.
  void SetDrawerListener(std::function<void(bool pinHigh)> listener) { monitor_.SetDrawerHandler(std::move(listener)); }

 private:
  void OnConnected() override;
  void OnData() override;
  void OnSendProgress(int32_t bytesSent, int32_t bytesRemaining) override;
  void OnSendComplete() override;
  void OnClosed() override;
  void OnError(int number, const std::string& description) override;
  void OnTimer();

  void SendToPrinter(std::string_view bytes);
  void PassRepliesToPos();
  void PrinterGone();
  void StartDraining();
  void Fail(const std::string& error);
  void End();
  std::string Address() const;

  const std::string host_;
  const int32_t port_;
  Socket* pos_ = nullptr;  // the POS connection from Open to Close
  std::function<void()> onEnd_;
  std::unique_ptr<Socket> printer_;
  std::unique_ptr<Timer> timer_;  // connect timeout, then the linger span
  tap::PrinterStatusMonitor monitor_;
  std::function<void(const std::string& status)> statusListener_;
  PayloadPool pool_;
  State state_ = State::kIdle;
  bool posClosed_ = false;
  std::string held_;  // POS bytes that came before the printer connected
  size_t toPrinter_ = 0;
  size_t toPos_ = 0;
  bool posPaused_ = false;
  bool printerPaused_ = false;
  std::string chunk_;  // reused for every read from the printer
};

}  // namespace tavrik
