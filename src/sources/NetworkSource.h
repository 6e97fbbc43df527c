#pragma once
// The network source on SrcSock: TCP client, TCP listener (one peer at a
// time), UDP receiver or UDP addressed. Every loss of the peer and every
// socket failure ends in a reset of the source. Event thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "frames/FrameAssembler.h"
#include "platform/Platform.h"
#include "sources/SourceHost.h"

namespace tavrik {

struct NetworkSourceSettings {
  std::string RemoteAddress;
  int32_t RemotePort = 0;
  bool SrcListen = false;
  uint8_t SrcProtocol = 0;  // 1 UDP, any other value TCP
  int32_t FrameTimeout = 500;
};

class NetworkSource : private SocketEvents {
 public:
  static constexpr int32_t kSetUpWatchdogMs = 3000;
  static constexpr int32_t kMaxFrame = 40960;
  // A peer that refuses or drops the connection at once is tried again at
  // most this often, instead of in a busy loop.
  static constexpr int32_t kMinAttemptSpacingMs = 1000;

  NetworkSource(Socket& srcSock, Platform& platform, SourceHost& host, FrameAssembler& frames,
                NetworkSourceSettings settings);
  ~NetworkSource() override;

  void ReconnectTCP();
  void ReconnectUDP();
  // Forgets a reconnection that waits for its turn (unload).
  void CancelReconnect();

 private:
  void OnConnect() override;
  void OnConnectionRequest(int32_t requestId) override;
  void OnDataArrival(int32_t bytesTotal) override;
  void OnClose() override;
  void OnError(int number, const std::string& description) override;

  void SrcSock_Connect();
  void SrcSock_ConnectionRequest(int32_t requestId);
  void SrcSock_DataArrival();
  void SrcSock_Close();
  void SrcSock_Error(int number, const std::string& description);
  void ResetAfterFailure(const std::exception& failure);
  void StartAttempt();
  void Reconnect();
  void Pace_Timer();

  Socket& srcSock_;
  Platform& platform_;
  SourceHost& host_;
  FrameAssembler& frames_;
  NetworkSourceSettings settings_;
  std::unique_ptr<Timer> pace_;  // runs for kMinAttemptSpacingMs after each set-up
  bool reconnectDue_ = false;
  std::string chunk_;  // reused for every arrival
};

}  // namespace tavrik
