#include "events/HttpEventOutput.h"

#include <gtest/gtest.h>

#include "platform/fake/FakePlatform.h"
#include "support/LogCapture.h"

namespace tavrik {
namespace {

class HttpEventOutputTest : public ::testing::Test {
 protected:
  HttpEventOutputTest() {
    config_.name = "hook";
    config_.url = "http://127.0.0.1:8000/event";
    config_.queue = 3;
  }
  void Start() {
    output_ = std::make_unique<HttpEventOutput>(platform_, config_);
    output_->Start();
    http_ = platform_.HttpClients().back();
  }
  void Deliver(uint64_t seq) {
    const std::string json = "{\"seq\":" + std::to_string(seq) + "}";
    RuleEvent event;
    event.seq = seq;
    event.json = json;
    output_->Deliver(event);
  }
  // Answers the request under way; returns its body.
  std::string Answer(int status) {
    const auto waiting = http_->Waiting();
    EXPECT_EQ(waiting.size(), 1u) << "one event at a time";
    if (waiting.empty()) return "";
    const std::string body = http_->Request(waiting[0]).body;
    HttpOutcome outcome;
    outcome.status = status;
    if (status == 0) outcome.error = "Couldn't connect to server";
    http_->Answer(waiting[0], outcome);
    platform_.RunPosted();
    return body;
  }

  test::LogCapture log_;
  FakePlatform platform_;
  EventOutputConfig config_;
  std::unique_ptr<HttpEventOutput> output_;
  FakeHttpClient* http_ = nullptr;
};

// An endpoint that is down, then answers 500, then takes events again:
// events wait in order, one log line for the outage and one for the end,
// retried after 1 s, 2 s, 4 s; none is lost while the queue has room.
TEST_F(HttpEventOutputTest, OutageKeepsOrderLogsOnceAndRetriesWithGrowingDelays) {
  Start();
  Deliver(1);
  Deliver(2);
  EXPECT_EQ(Answer(0), "{\"seq\":1}");
  EXPECT_TRUE(http_->Waiting().empty());
  platform_.Advance(999);
  EXPECT_TRUE(http_->Waiting().empty());
  platform_.Advance(1);
  EXPECT_EQ(Answer(500), "{\"seq\":1}");
  platform_.Advance(1999);
  EXPECT_TRUE(http_->Waiting().empty());
  platform_.Advance(1);
  EXPECT_EQ(Answer(503), "{\"seq\":1}");
  platform_.Advance(4000);
  EXPECT_EQ(Answer(201), "{\"seq\":1}");
  EXPECT_EQ(Answer(200), "{\"seq\":2}");
  EXPECT_TRUE(http_->Waiting().empty());
  EXPECT_EQ(log_.Messages(), (std::vector<std::string>{
                                 "event output hook disconnected: Couldn't connect to server.",
                                 "event output hook connected.",
                             }));
  const EventOutputCounters counters = output_->Counters();
  EXPECT_TRUE(counters.connected);
  EXPECT_EQ(counters.sent, 2u);
  EXPECT_EQ(counters.failures, 3u);
  EXPECT_EQ(counters.queued, 0u);

  // The next outage starts from the first delay again and names its status.
  Deliver(3);
  Answer(500);
  platform_.Advance(1000);
  EXPECT_EQ(http_->Waiting().size(), 1u);
  EXPECT_EQ(log_.Count("event output hook disconnected: HTTP 500."), 1u);
}

// A full queue drops its oldest waiting event, never the one under way, and
// the recovery line counts what was lost.
TEST_F(HttpEventOutputTest, FullQueueDropsTheOldestWaitingEvent) {
  Start();
  Deliver(1);
  Answer(500);
  platform_.Advance(1000);  // 1 is under way again
  for (uint64_t seq = 2; seq <= 5; ++seq) Deliver(seq);  // queue of 3: 2 and 3 dropped
  EXPECT_EQ(output_->Counters().dropped, 2u);
  std::vector<std::string> bodies;
  for (int i = 0; i < 3; ++i) bodies.push_back(Answer(200));
  EXPECT_EQ(bodies, (std::vector<std::string>{"{\"seq\":1}", "{\"seq\":4}", "{\"seq\":5}"}));
  EXPECT_TRUE(log_.Contains("event output hook connected. 2 events dropped while disconnected."));
}

// Stopped, it cancels what is under way and sends nothing more.
TEST_F(HttpEventOutputTest, StopCancelsAndSendsNoMore) {
  Start();
  Deliver(1);
  output_->Stop();
  EXPECT_TRUE(http_->Waiting().empty());
  Deliver(2);
  platform_.Advance(60000);
  EXPECT_EQ(http_->Sent().size(), 1u);
}

}  // namespace
}  // namespace tavrik
