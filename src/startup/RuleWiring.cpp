#include "startup/RuleWiring.h"

#include "platform/HostName.h"

namespace tavrik {
namespace {

// A receipt's permalink starts with the web port's address, or with this
// machine's name where the port listens on every address.
std::string ReceiptUrl(const Settings& settings) {
  if (settings.webPort == 0) return {};
  std::string host = settings.webAddress;
  if (host.empty() || host == "0.0.0.0" || host == "::") host = LocalHostName();
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(settings.webPort) + "/";
}

}  // namespace

std::unique_ptr<RuleEngine> StartRules(Platform& platform, const Settings& settings, const OutputsConfig& config,
                                       Relay& relay, Outputs* outputs, EventOutputs* events) {
  relay.SetTill(config.till);
  if (config.rules.empty()) return nullptr;
  auto engine = std::make_unique<RuleEngine>(platform, config.rules, config.till, ReceiptUrl(settings));
  relay.SetReceiptMatcher(*engine);
  relay.SetDrawerListener([rules = engine.get()](bool pinHigh) { rules->OnDrawerLevel(pinHigh); });
  relay.SetRuleReports([rules = engine.get()] {
    std::vector<RuleReport> reports;
    for (const RuleCount& count : rules->Counts()) reports.push_back({count.rule, count.matches});
    return reports;
  });
  if (WebServer* web = relay.Web()) {
    engine->AddSink("web", [web](const RuleEvent& event) { web->StreamAlert(event.json); });
  }
  if (events) {
    events->ForEach([&engine](const std::string& name, EventOutput& output) {
      engine->AddSink(name, [&output](const RuleEvent& event) { output.Deliver(event); });
    });
  }
  if (outputs && config.mqtt) {
    engine->AddSink("mqtt", [outputs](const RuleEvent& event) { outputs->PublishEvent(event.json); });
  }
  return engine;
}

}  // namespace tavrik
