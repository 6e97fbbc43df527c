#pragma once
// An event output over a plain socket (zoneminder's zmtrigger on TCP,
// milestone's generic events on TCP or UDP): each event becomes one line,
// sent by a recorder link with its queue, acknowledgements and reconnects.
#include <memory>
#include <string>

#include "events/EventOutput.h"
#include "events/EventOutputConfig.h"
#include "outputs/TcpRecorder.h"
#include "outputs/UdpRecorder.h"
#include "platform/Platform.h"

namespace tavrik {

class SocketEventOutput final : public EventOutput {
 public:
  static constexpr int32_t kZoneMinderPort = 6802;
  static constexpr int32_t kMilestonePort = 1234;

  SocketEventOutput(Platform& platform, EventOutputConfig config);

  void Start() override;
  void Stop() override;
  void Deliver(const RuleEvent& event) override;
  const std::string& Name() const override { return name_; }
  EventOutputCounters Counters() const override;

 private:
  const EventOutputConfig config_;
  const std::string name_;
  std::unique_ptr<TcpRecorder> tcp_;  // one of the two
  std::unique_ptr<UdpRecorder> udp_;
};

}  // namespace tavrik
