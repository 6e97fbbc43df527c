#include "events/EventRequests.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavrik {
namespace {

RuleEvent Refund() {
  RuleEvent event;
  event.rule = "refund";
  event.seq = 42;
  event.time = "2026-12-08 10:15:00";
  event.epochMs = 1796724900000;
  event.till = "till 3";
  event.line = "REFUND 12.50";
  event.amount = 12.5;
  event.text = "SHOP\nREFUND 12.50\n";
  event.json = R"({"type":"rule","rule":"refund","seq":42})";
  return event;
}

bool Has(const OutgoingHttpRequest& request, const std::string& header) {
  return std::find(request.headers.begin(), request.headers.end(), header) != request.headers.end();
}

// Each HTTP receiver gets its documented request: address, body, auth.
TEST(EventRequestsTest, HttpReceiversGetTheirDocumentedRequests) {
  EventOutputConfig webhook;
  webhook.url = "https://hooks.example/receipts";
  webhook.headers = {"X-Shop: 7"};
  webhook.auth = EventAuth::kBearer;
  webhook.token = "abc";
  const OutgoingHttpRequest hook = EventHttpRequest(webhook, Refund());
  EXPECT_EQ(hook.method, "POST");
  EXPECT_EQ(hook.url, "https://hooks.example/receipts");
  EXPECT_EQ(hook.body, Refund().json);
  EXPECT_TRUE(Has(hook, "Content-Type: application/json"));
  EXPECT_TRUE(Has(hook, "X-Shop: 7"));
  EXPECT_TRUE(Has(hook, "Authorization: Bearer abc"));

  EventOutputConfig frigate;
  frigate.type = EventOutputType::kFrigate;
  frigate.url = "http://nvr:5000/";
  frigate.camera = "till cam/3";
  frigate.duration = 45;
  const OutgoingHttpRequest fr = EventHttpRequest(frigate, Refund());
  EXPECT_EQ(fr.url, "http://nvr:5000/api/events/till%20cam%2F3/receipt/create");
  EXPECT_EQ(fr.body, R"({"sub_label":"refund","duration":45,"include_recording":true})");

  EventOutputConfig nx;
  nx.type = EventOutputType::kNx;
  nx.url = "https://vms:7001";
  nx.cameras = {"{cam-1}", "{cam-2}"};
  nx.auth = EventAuth::kDigest;
  nx.username = "admin";
  nx.password = "pw";
  const OutgoingHttpRequest n = EventHttpRequest(nx, Refund());
  EXPECT_EQ(n.url, "https://vms:7001/api/createEvent");
  EXPECT_EQ(n.body, R"({"source":"till 3","caption":"refund","description":"REFUND 12.50\n\nSHOP\nREFUND 12.50\n",)"
                    R"("timestamp":"1796724900000","metadata":{"cameraRefs":["{cam-1}","{cam-2}"]}})");
  EXPECT_EQ(n.auth, HttpAuth::kDigest);
  EXPECT_EQ(n.username, "admin");
}

// The picture goes only to a webhook that asks for it, and only with a receipt's event.
TEST(EventRequestsTest, AWebhookWithPngGetsThePictureLast) {
  RuleEvent pictured = Refund();
  pictured.png = "\x89PNG";
  EventOutputConfig webhook;
  webhook.url = "http://h/";
  EXPECT_EQ(EventHttpRequest(webhook, pictured).body, Refund().json);
  webhook.png = true;
  EXPECT_EQ(EventHttpRequest(webhook, pictured).body, R"({"type":"rule","rule":"refund","seq":42,"png":"iVBORw=="})");
  EXPECT_EQ(EventHttpRequest(webhook, Refund()).body, Refund().json);  // a drawer's, or none drawn
}

// Line protocols: one line per event, field separators and line breaks in
// receipt text cannot break the line, long fields are cut at a whole character.
TEST(EventRequestsTest, LineProtocolsKeepOneEventOnOneLine) {
  EventOutputConfig zm;
  zm.type = EventOutputType::kZoneMinder;
  zm.monitor = "till4";
  zm.duration = 20;
  zm.score = 80;
  RuleEvent event = Refund();
  event.rule = "refund|void";
  EXPECT_EQ(EventMessage(zm, event), "till4|on+20|80|refund void|REFUND 12.50 SHOP REFUND 12.50 |REFUND 12.50\n");

  const std::string x31(31, 'x');
  const std::string across = x31 + "\xC3\xA9";  // "é" across the 32-byte limit of showtext
  event.line = across;
  const std::string line = EventMessage(zm, event);
  EXPECT_EQ(line.substr(line.size() - 33), "|" + x31 + "\n") << line;

  EventOutputConfig milestone;
  milestone.type = EventOutputType::kMilestone;
  milestone.templateText = "POS {till}: {rule} #{seq} {amount} {line} {unknown}";
  EXPECT_EQ(EventMessage(milestone, Refund()), "POS till 3: refund #42 12.50 REFUND 12.50 {unknown}\r\n");
  RuleEvent drawer;
  drawer.kind = RuleEventKind::kDrawerOpen;
  drawer.rule = "drawer\nleft open";
  EXPECT_EQ(EventMessage(milestone, drawer), "POS : drawer left open (drawer_open) #0   {unknown}\r\n");
}

}  // namespace
}  // namespace tavrik
