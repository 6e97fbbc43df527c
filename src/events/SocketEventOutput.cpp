#include "events/SocketEventOutput.h"

#include "events/EventRequests.h"

namespace tavrik {
namespace {

RecorderConfig LinkConfig(const EventOutputConfig& config) {
  RecorderConfig link;
  link.protocol = config.udp ? RecorderProtocol::kUdp : RecorderProtocol::kTcp;
  link.host = config.host;
  link.port = config.port != 0 ? config.port
                               : (config.type == EventOutputType::kZoneMinder ? SocketEventOutput::kZoneMinderPort
                                                                              : SocketEventOutput::kMilestonePort);
  link.queue = config.queue;
  return link;
}

}  // namespace

SocketEventOutput::SocketEventOutput(Platform& platform, EventOutputConfig config)
    : config_(std::move(config)), name_("event output " + config_.name) {
  if (config_.udp) {
    udp_ = std::make_unique<UdpRecorder>(platform, LinkConfig(config_), name_);
  } else {
    tcp_ = std::make_unique<TcpRecorder>(platform, LinkConfig(config_), name_, "events");
  }
}

void SocketEventOutput::Start() {
  if (tcp_) tcp_->Start();
  if (udp_) udp_->Start();
}

void SocketEventOutput::Stop() {
  if (tcp_) tcp_->Stop();
  if (udp_) udp_->Stop();
}

void SocketEventOutput::Deliver(const RuleEvent& event) {
  const std::string message = EventMessage(config_, event);
  if (tcp_) tcp_->DeliverText(message);
  if (udp_) udp_->DeliverText(message);
}

EventOutputCounters SocketEventOutput::Counters() const {
  const OutputCounters c = tcp_ ? tcp_->Counters() : udp_->Counters();
  return {c.connected, c.queued, c.sent, c.dropped, 0};
}

}  // namespace tavrik
