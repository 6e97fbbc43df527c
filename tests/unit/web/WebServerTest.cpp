#include "web/WebServer.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/FakePlatform.h"
#include "support/LogCapture.h"
#include "support/TestReceipts.h"

namespace tavrik {
namespace {

class FixedStatus : public StatusSource {
 public:
  RelayStatus CurrentStatus() const override { return status; }
  RelayStatus status;
};

size_t Occurrences(const std::string& text, const std::string& word) {
  size_t count = 0;
  for (size_t at = 0; (at = text.find(word, at)) != std::string::npos; at += word.size()) ++count;
  return count;
}

class WebServerTest : public ::testing::Test {
 protected:
  WebServerTest() {
    status.status.sourceKind = "network";
    status.status.sourceState = "connected";
    status.status.framesRelayed = 7;
    web.Listen("127.0.0.1", 8080);
  }

  // The server creates the listener first, then a socket per connection slot.
  FakeSocket& Listener() { return *platform.Sockets().at(0); }
  FakeSocket& Connection(size_t i) { return *platform.Sockets().at(1 + i); }
  // Connects and asks; returns the slot, whose socket shows this connection only.
  size_t Ask(const std::string& request) {
    Listener().RequestConnection("127.0.0.1");
    const size_t slot = static_cast<size_t>(web.ConnectionCount()) - 1;
    Connection(slot).sent.clear();
    Connection(slot).shutdownAt = -1;
    Connection(slot).Arrive(request);
    return slot;
  }
  // The stream of a viewer that asked for the receipts, after the head and the retry line.
  std::string Events(size_t slot) {
    const std::string& sent = Connection(slot).sent;
    const size_t start = sent.find("retry: 1000\n\n");
    return start == std::string::npos ? "<no stream>" : sent.substr(start + 13);
  }

  test::LogCapture log{0};
  FakePlatform platform;
  FixedStatus status;
  WebServer web{platform, status};
  test::TestReceipts receipts;
};

TEST_F(WebServerTest, ListensOnTheGivenAddress) {
  EXPECT_EQ(Listener().State(), SocketState::kListening);
  EXPECT_EQ(Listener().listenAddress, "127.0.0.1");
  EXPECT_EQ(Listener().listenPort, 8080);
}

TEST_F(WebServerTest, RoutesEachPathAndAnswersHeadWithoutBody) {
  const size_t slot = Ask("GET / HTTP/1.1\r\n\r\n");
  const std::string& sent = Connection(slot).sent;
  EXPECT_EQ(sent.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(sent.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(sent.find("<!DOCTYPE html>"), std::string::npos);
  const std::string get = sent;

  Connection(slot).sent.clear();
  Connection(slot).Arrive("HEAD / HTTP/1.1\r\n\r\n");  // the same connection: kept alive
  EXPECT_EQ(Connection(slot).sent, get.substr(0, get.find("\r\n\r\n") + 4));

  Connection(slot).sent.clear();
  Connection(slot).Arrive("GET /status HTTP/1.1\r\n\r\n");
  EXPECT_NE(Connection(slot).sent.find("Content-Type: application/json\r\n"), std::string::npos);
  EXPECT_NE(Connection(slot).sent.find("\"framesRelayed\":7,"), std::string::npos);
  EXPECT_NE(Connection(slot).sent.find("\"source\":{\"kind\":\"network\",\"state\":\"connected\""),
            std::string::npos);

  Connection(slot).sent.clear();
  Connection(slot).Arrive("GET /metrics?x HTTP/1.1\r\n\r\n");
  EXPECT_NE(Connection(slot).sent.find("Content-Type: text/plain; version=0.0.4"),
            std::string::npos);
  EXPECT_NE(Connection(slot).sent.find("\ntavrik_frames_relayed_total 7\n"), std::string::npos);

  Connection(slot).sent.clear();
  Connection(slot).Arrive("GET /nothing HTTP/1.1\r\n\r\nDELETE / HTTP/1.1\r\n\r\n");
  const std::string errors = Connection(slot).sent;
  EXPECT_EQ(errors.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
  EXPECT_NE(errors.find("HTTP/1.1 405 Method Not Allowed\r\n"), std::string::npos);
  EXPECT_NE(errors.find("Allow: GET, HEAD\r\n"), std::string::npos);
  EXPECT_EQ(Connection(slot).State(), SocketState::kConnected);
}

// The last answer goes out, then the send side shuts; what the client still
// sends is read and dropped until it ends its side or kLingerMs pass.
TEST_F(WebServerTest, LastAnswerIsSentThenTheConnectionLingersUntilTheClientEnds) {
  const struct {
    std::string request;
    std::string answer;
  } cases[] = {
      {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
      {"GET / HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
      {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 405 "},
      {"GARBAGE\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"GET / HTTP/1.1\r\nX: " + std::string(9000, 'a') + "\r\n\r\n",
       "HTTP/1.1 400 Bad Request\r\n"},
      {std::string(HttpRequestParser::kMaxHeadBytes + 1, 'a'), "HTTP/1.1 400 Bad Request\r\n"},
  };
  for (const bool clientEnds : {true, false}) {
    for (const auto& [request, answer] : cases) {
      const size_t slot = Ask(request);
      FakeSocket& socket = Connection(slot);
      EXPECT_EQ(socket.sent.rfind(answer, 0), 0u) << request;
      EXPECT_NE(socket.sent.find("Connection: close\r\n"), std::string::npos) << request;
      socket.Arrive("GET / HTTP/1.1\r\n\r\n" + std::string(100000, 'x'));  // read, not answered
      socket.DrainAll();
      EXPECT_EQ(socket.shutdownAt, static_cast<int64_t>(socket.sent.size())) << request;
      EXPECT_EQ(Occurrences(socket.sent, "Server: TavrikSrv"), 1u) << request;
      platform.Advance(WebServer::kLingerMs - 1);
      EXPECT_EQ(socket.State(), SocketState::kConnected) << request;
      if (clientEnds) socket.PeerClose();
      if (!clientEnds) platform.Advance(1);
      EXPECT_EQ(socket.State(), SocketState::kClosed) << request;
      EXPECT_EQ(web.ConnectionCount(), 0) << request;
    }
  }
}

// A client that ends its side after its requests (shutdown, nc -N) still gets
// every answer whole; the connection closes once they are sent.
TEST_F(WebServerTest, HalfClosedClientGetsEveryAnswerBeforeTheConnectionCloses) {
  for (const std::string path : {"/", "/status", "/metrics", "/missing"}) {
    const size_t slot = Ask("GET " + path + " HTTP/1.1\r\n\r\nGET /status HTTP/1.1\r\n\r\nGET /");
    FakeSocket& socket = Connection(slot);
    socket.PeerClose();
    EXPECT_EQ(socket.State(), SocketState::kClosing) << path;
    EXPECT_EQ(Occurrences(socket.sent, "Server: TavrikSrv\r\n"), 2u) << path;  // both answered
    socket.Drain(socket.pendingBytes() - 1);
    EXPECT_EQ(socket.State(), SocketState::kClosing) << path;
    socket.DrainAll();
    EXPECT_EQ(socket.State(), SocketState::kClosed) << path;
  }
  // Nothing queued: closed at once.
  const size_t idle = Ask("GET /sta");
  Connection(idle).PeerClose();
  EXPECT_EQ(Connection(idle).State(), SocketState::kClosed);
}

// Pipelined requests are answered in order; while more than kMaxQueuedBytes
// of answers wait unsent, the next requests wait unread.
TEST_F(WebServerTest, PipelinedRequestsWaitUnreadWhileTheAnswersDrain) {
  std::string requests;
  for (int i = 0; i < 600; ++i)
    requests += "GET /status?" + std::to_string(i) + " HTTP/1.1\r\n\r\n";
  const size_t slot = Ask(requests + "GET /missing HTTP/1.1\r\n\r\n");
  FakeSocket& socket = Connection(slot);
  EXPECT_TRUE(socket.readingPaused);
  EXPECT_LE(socket.pendingBytes(), WebServer::kMaxQueuedBytes + 2000);
  socket.Arrive("GET /late HTTP/1.1\r\n\r\n");  // left in the socket meanwhile
  socket.PeerClose();
  platform.Advance(int64_t{WebServer::kKeepAliveMs} * (WebServer::kIdlePeriods - 1));
  for (int round = 0; round < 20 && socket.State() != SocketState::kClosed; ++round) {
    socket.Drain(socket.pendingBytes() / 2);  // each answer's progress keeps it open
    platform.Advance(WebServer::kKeepAliveMs * 3);
    socket.DrainAll();
  }
  EXPECT_EQ(socket.State(), SocketState::kClosed);
  EXPECT_EQ(Occurrences(socket.sent, "HTTP/1.1 200 OK\r\n"), 600u);
  const size_t missing = socket.sent.find("HTTP/1.1 404 ");
  EXPECT_GT(missing, socket.sent.rfind("HTTP/1.1 200 OK\r\n"));  // in order
  EXPECT_EQ(Occurrences(socket.sent, "HTTP/1.1 404 "), 2u);      // /late too
}

// A head must be complete kRequestHeadMs after its first byte, however it
// trickles; the count starts again with the next request's first byte.
TEST_F(WebServerTest, HeadNotCompleteInTimeClosesTheConnection) {
  const size_t trickling = Ask("G");
  const size_t asking = Ask("GET /status HTTP/1.1\r\n\r\n");
  platform.Advance(WebServer::kRequestHeadMs / 2);
  Connection(asking).Arrive("GET /status HTTP/1.1\r\n");  // the next head begins
  for (int elapsed = WebServer::kRequestHeadMs / 2; elapsed < WebServer::kRequestHeadMs - 1000;
       elapsed += 1000) {
    Connection(trickling).Arrive("E");
    platform.Advance(1000);
  }
  EXPECT_EQ(Connection(trickling).State(), SocketState::kConnected);
  platform.Advance(1000);
  EXPECT_EQ(Connection(trickling).State(), SocketState::kClosed);
  EXPECT_EQ(Connection(asking).State(), SocketState::kConnected);
  Connection(asking).Arrive("\r\n");
  platform.Advance(WebServer::kRequestHeadMs);
  EXPECT_EQ(Connection(asking).State(), SocketState::kConnected);
  Connection(asking).Arrive("GET /sta");
  platform.Advance(WebServer::kRequestHeadMs);
  EXPECT_EQ(Connection(asking).State(), SocketState::kClosed);
}

// With every slot taken, a new connection takes the slot of the one that
// has waited longest for a request; when none waits, it is refused.
TEST_F(WebServerTest, FullPortGivesTheSlotOfTheLongestWaitingConnection) {
  const size_t stream = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  const size_t unsent = Ask("GET / HTTP/1.1\r\n\r\n");  // its answer still on the way
  const size_t renewed = Ask("GET /status HTTP/1.1\r\n\r\n");
  while (web.ConnectionCount() < WebServer::kMaxConnections) Ask("GET /");  // heads begun
  const size_t oldest = renewed + 1;
  Connection(renewed).DrainAll();
  Connection(renewed).Arrive("GET /status HTTP/1.1\r\n\r\n");  // asked again: waits less long
  Connection(renewed).DrainAll();
  const size_t sockets = platform.Sockets().size();
  Listener().RequestConnection("10.0.0.2");
  EXPECT_EQ(platform.Sockets().size(), sockets);
  EXPECT_EQ(web.ConnectionCount(), WebServer::kMaxConnections);
  for (size_t slot = 0; slot < static_cast<size_t>(WebServer::kMaxConnections); ++slot) {
    EXPECT_EQ(Connection(slot).closeCalls, slot == oldest ? 1 : 0) << slot;
  }
  Connection(oldest).Arrive("GET /status HTTP/1.1\r\n\r\n");  // the new connection's request
  EXPECT_NE(Connection(oldest).sent.find("\"framesRelayed\":7,"), std::string::npos);

  for (size_t slot = 0; slot < static_cast<size_t>(WebServer::kMaxConnections); ++slot) {
    if (slot == stream || slot == unsent) continue;
    Connection(slot).DrainAll();
    Connection(slot).Arrive(slot == renewed || slot == oldest ? "GET /receipts HTTP/1.1\r\n\r\n"
                                                              : "receipts HTTP/1.1\r\n\r\n");
  }
  Listener().RequestConnection("10.0.0.3");  // nobody waits: refused
  EXPECT_EQ(web.ConnectionCount(), WebServer::kMaxConnections);
  for (size_t slot = 0; slot < static_cast<size_t>(WebServer::kMaxConnections); ++slot) {
    EXPECT_EQ(Connection(slot).State(), SocketState::kConnected) << slot;
    EXPECT_EQ(Connection(slot).closeCalls, slot == oldest ? 1 : 0) << slot;
  }
}

TEST_F(WebServerTest, StreamsEveryFrameAsOneReceiptEvent) {
  const size_t slot = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  EXPECT_NE(Connection(slot).sent.find("Content-Type: text/event-stream; charset=utf-8\r\n"),
            std::string::npos);
  EXPECT_EQ(Events(slot), "");
  const std::string time = platform.GetClock().LocalDateTimeText();
  web.OnReceipt(receipts.Next("Total 4.50\n\x1dV\x01", time));
  EXPECT_EQ(Events(slot), "id: 1\nevent: receipt\ndata: {\"seq\":1,\"time\":\"" + time +
                              "\",\"bytes\":14,\"cut\":true,\"text\":\"Total 4.50\\n\","
                              "\"epochMs\":1796644800000,\"utcOffset\":\"+00:00\"}\n\n");
}

TEST_F(WebServerTest, KeepAliveCommentEveryThreeSecondsOnStreamsOnly) {
  const size_t stream = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  const size_t page = Ask("GET / HTTP/1.1\r\n\r\n");
  const std::string pageSent = Connection(page).sent;
  platform.Advance(WebServer::kKeepAliveMs - 1);
  EXPECT_EQ(Events(stream), "");
  platform.Advance(1);
  EXPECT_EQ(Events(stream), ": keep-alive\n\n");
  EXPECT_EQ(Connection(page).sent, pageSent);
}

TEST_F(WebServerTest, IdleConnectionsAreClosedAfterThirtySecondsStreamsAreNot) {
  const size_t stream = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  Listener().RequestConnection("127.0.0.1");
  const size_t silent = stream + 1;
  const size_t asking = Ask("GET /status HTTP/1.1\r\n\r\n");
  constexpr int64_t kIdleMs = int64_t{WebServer::kKeepAliveMs} * WebServer::kIdlePeriods;
  platform.Advance(kIdleMs - WebServer::kKeepAliveMs);
  Connection(asking).Arrive("GET /status HTTP/1.1\r\n\r\n");  // a request starts the count again
  platform.Advance(WebServer::kKeepAliveMs);
  EXPECT_EQ(Connection(silent).State(), SocketState::kClosed);
  EXPECT_EQ(Connection(asking).State(), SocketState::kConnected);
  EXPECT_EQ(Connection(stream).State(), SocketState::kConnected);
  platform.Advance(kIdleMs);
  EXPECT_EQ(Connection(asking).State(), SocketState::kClosed);
  EXPECT_EQ(Connection(stream).State(), SocketState::kConnected);
}

TEST_F(WebServerTest, ReconnectingViewerGetsTheReceiptsAfterItsLastEventId) {
  for (const char* frame : {"receipt 1\n", "receipt 2\n", "receipt 3\n"}) web.OnReceipt(receipts.Next(frame));
  const size_t fresh = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  const size_t back = Ask("GET /receipts HTTP/1.1\r\nLast-Event-ID: 2\r\n\r\n");
  EXPECT_NE(Events(fresh).find("id: 1\n"), std::string::npos);
  EXPECT_EQ(Events(back).find("id: 1\n"), std::string::npos);
  EXPECT_EQ(Events(back).find("id: 2\n"), std::string::npos);
  EXPECT_EQ(Events(back).rfind("id: 3\nevent: receipt\n", 0), 0u);
}

TEST_F(WebServerTest, AlertsGoToEveryStreamAndTheLatestToEachNewViewer) {
  const size_t live = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  for (size_t i = 1; i <= WebServer::kHeldAlerts + 1; ++i) web.StreamAlert(R"({"rule":)" + std::to_string(i) + "}");
  EXPECT_EQ(Occurrences(Events(live), "event: alert\n"), WebServer::kHeldAlerts + 1);
  EXPECT_EQ(Events(live).rfind("event: alert\ndata: {\"rule\":1}\n\n", 0), 0u);
  web.OnReceipt(receipts.Next("receipt 1\n"));
  const size_t fresh = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  const size_t back = Ask("GET /receipts HTTP/1.1\r\nLast-Event-ID: 0\r\n\r\n");
  // The receipts first, then the alerts held, the oldest gone.
  EXPECT_EQ(Events(fresh).find("id: 1\n"), 0u);
  EXPECT_EQ(Occurrences(Events(fresh), "event: alert\n"), WebServer::kHeldAlerts);
  EXPECT_EQ(Events(fresh).find("{\"rule\":1}"), std::string::npos);
  EXPECT_EQ(Occurrences(Events(back), "event: alert\n"), 0u);
}

TEST_F(WebServerTest, SlowViewerSkipsWholeReceiptsAndResumesWhenItCatchesUp) {
  const size_t slow = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  const size_t quick = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  const std::string big(40000, 'x');
  int sent = 0;
  for (; Connection(slow).pendingBytes() < WebServer::kMaxQueuedBytes; ++sent) {
    web.OnReceipt(receipts.Next(big));
    Connection(quick).DrainAll();
  }
  const std::string before = Connection(slow).sent;
  web.OnReceipt(receipts.Next(big));
  web.OnReceipt(receipts.Next("small\n"));
  EXPECT_EQ(Connection(slow).sent, before);  // nothing of either: skipped whole
  EXPECT_EQ(web.ReceiptsSkipped(), 2);
  Connection(slow).Drain(Connection(slow).pendingBytes() - 10);  // below the limit again
  web.OnReceipt(receipts.Next("after\n"));
  const std::string resumed = Connection(slow).sent.substr(before.size());
  EXPECT_EQ(resumed.rfind("id: " + std::to_string(sent + 3) + "\n", 0), 0u);
  EXPECT_EQ(resumed.size(), resumed.find("}\n\n") + 3);  // one whole event
  // The quick viewer got every receipt.
  size_t events = 0;
  for (size_t at = 0; (at = Connection(quick).sent.find("event: receipt", at)) != std::string::npos;
       ++at)
    ++events;
  EXPECT_EQ(events, static_cast<size_t>(sent + 3));
}

TEST_F(WebServerTest, CloseEndsTheListenerAndEveryConnection) {
  const size_t stream = Ask("GET /receipts HTTP/1.1\r\n\r\n");
  web.Close();
  EXPECT_EQ(Listener().State(), SocketState::kClosed);
  EXPECT_EQ(Connection(stream).State(), SocketState::kClosed);
  platform.Advance(WebServer::kKeepAliveMs * 2);
  EXPECT_EQ(Events(stream), "");
}

class OnePicture : public PictureSource {
 public:
  bool PictureOf(uint64_t sequence, std::string& png) override {
    asked += std::to_string(sequence) + ' ';
    png = "PNG" + std::to_string(sequence);
    return sequence == 7;
  }
  std::string asked;
};

// Without a picture source /receipts/SEQ.png is no path; with one, each
// SEQ is asked for, a picture it has is image/png, one it has not 404.
TEST_F(WebServerTest, AnswersPicturePathsOnlyWithAPictureSource) {
  const std::string request = "GET /receipts/7.png HTTP/1.1\r\n\r\n";
  const size_t without = Ask(request);
  EXPECT_EQ(Connection(without).sent.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);

  OnePicture pictures;
  web.SetPictureSource(&pictures);
  const size_t with = Ask(request);
  const std::string& sent = Connection(with).sent;
  EXPECT_EQ(sent.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(sent.find("Content-Type: image/png\r\nContent-Length: 4\r\n"), std::string::npos);
  EXPECT_EQ(sent.substr(sent.size() - 4), "PNG7");
  for (const char* path : {"/receipts/8.png", "/receipts/.png", "/receipts/7.jpg", "/receipts/x7.png",
                           "/receipts/99999999999999999999.png"}) {
    Connection(with).sent.clear();
    Connection(with).Arrive("GET " + std::string(path) + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(Connection(with).sent.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << path;
  }
  EXPECT_EQ(pictures.asked, "7 8 ");
}

}  // namespace
}  // namespace tavrik
