#pragma once
// The serial source: drains the port chunk by chunk into the frame in
// progress whenever it notifies, and watches for a port that stopped
// notifying. Owns the port; event thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "frames/FrameAssembler.h"
#include "platform/Platform.h"
#include "sources/SourceHost.h"
#include "tap/StatusResponder.h"

namespace tavrik {

struct SerialSourceSettings {
  int16_t port = 0;          // COM port number
  std::string lineSettings;  // baud,parity,data bits,stop bits
  int32_t frameTimeoutMs = 0;
  bool answerStatus = false;  // status queries are answered on the port
};

class SerialSource {
 public:
  SerialSource(Platform& platform, SourceHost& host, FrameAssembler& frames,
               SerialSourceSettings settings);
  ~SerialSource();
  SerialSource(const SerialSource&) = delete;
  SerialSource& operator=(const SerialSource&) = delete;

  // Closes the port if open and opens it again; failures throw.
  void Restart();
  void Stop();
  // Called every second: characters left waiting tick after tick mean the
  // port stopped notifying; the third such tick drains it by hand and
  // restarts the source, keeping the clients.
  void CheckForStall();
  bool IsPortOpen() const { return port_->IsOpen(); }  // for status reports

  // Frees the read buffer a burst made grow.
  void ReleaseSpareMemory() { std::string().swap(chunk_); }

 private:
  void OnSerialData();
  void AnswerQueries();

  Platform& platform_;
  SourceHost& host_;
  FrameAssembler& frames_;
  const SerialSourceSettings settings_;
  std::unique_ptr<SerialPort> port_;
  int32_t stalledTicks_ = 0;  // ticks in a row that found characters waiting
  std::string chunk_;         // reused for every read
  tap::StatusResponder responder_;
  std::string replies_;
};

}  // namespace tavrik
