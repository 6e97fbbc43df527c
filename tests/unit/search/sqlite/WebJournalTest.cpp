// The web port's journal paths and viewers' history, with the journal's real
// reader on a temporary file and a worker that the test can hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "search/sqlite/JournalReader.h"
#include "support/LogCapture.h"
#include "support/TestReceipts.h"
#include "unit/search/sqlite/TestJournal.h"
#include "web/WebServer.h"

namespace tavrik {
namespace {

class NoStatus : public StatusSource {
 public:
  RelayStatus CurrentStatus() const override { return {}; }
};

// The body of a response in chunked coding, and whether its last chunk came.
std::string Unchunk(std::string_view body, bool& complete) {
  std::string data;
  complete = false;
  for (;;) {
    const size_t line = body.find("\r\n");
    if (line == std::string_view::npos) return data;
    const size_t size = std::stoul(std::string(body.substr(0, line)), nullptr, 16);
    if (size == 0) {
      complete = body.substr(line) == "\r\n\r\n";
      return data;
    }
    data += body.substr(line + 2, size);
    body.remove_prefix(line + 2 + size + 2);
  }
}

class WebJournalTest : public ::testing::Test {
 protected:
  WebJournalTest() {
    journal.Add(1, "first \"quoted\", line\nsecond line\n",
                R"({"drawer":[{"pin":2,"onMs":100,"offMs":500}]})");
    for (uint64_t seq = 2; seq <= 60; ++seq)
      journal.Add(seq, "RECEIPT " + std::to_string(seq) + (seq % 20 == 0 ? " REFUND" : ""));
    web.UseJournal(std::make_unique<JournalReader>(platform, journal.Path()));
    web.Listen("127.0.0.1", 8080);
  }

  FakeSocket& Listener() { return *platform.Sockets().at(0); }
  FakeSocket& Socket(size_t slot) {
    return *platform.Sockets().at(2 + slot);
  }  // after the listener and the worker's none
  FakeBackgroundWorker& Worker() { return *platform.Workers().at(0); }
  size_t Connect() {
    Listener().RequestConnection("127.0.0.1");
    return static_cast<size_t>(web.ConnectionCount()) - 1;
  }
  // Asks on a new connection and lets the journal answer.
  std::string Ask(const std::string& request) {
    const size_t slot = Connect();
    FakeSocket& socket = *platform.Sockets().back();
    (void)slot;
    socket.Arrive(request);
    platform.RunPosted();
    return socket.sent;
  }

  test::LogCapture log{0};
  FakePlatform platform;
  test::TestJournal journal{platform.GetClock().UnixTimeMs() - 100 * test::TestJournal::kStepMs};
  NoStatus status;
  WebServer web{platform, status};
};

TEST_F(WebJournalTest, AnswersEachPathWithItsStatusAndType) {
  struct Case {
    const char* target;
    const char* status;
    const char* type;
    const char* body;  // a part of it
  };
  const Case cases[] = {
      {"/api/receipts?q=refund&limit=2", "200 OK", "application/json",
       R"({"receipts":[{"seq":60,"time":)"},
      {"/api/receipts?q=refund&limit=2", "200 OK", "application/json", R"(,"next":40})"},
      {"/api/receipts?q=refund&before=40", "200 OK", "application/json", R"(,"next":null})"},
      {"/api/receipts/1", "200 OK", "application/json",
       R"("text":"first \"quoted\", line\nsecond line\n","cut":true,"drawer":[{"pin":2,"onMs":100,"offMs":500}],"codes":[],"rules":[]})"},
      {"/api/receipts/1.txt", "200 OK", "text/plain; charset=utf-8",
       "\r\n\r\nfirst \"quoted\", line\nsecond line\n"},
      {"/api/receipts/61", "404 Not Found", "application/json",
       R"({"error":"no such receipt in the journal"})"},
      {"/api/receipts/x1", "404 Not Found", "application/json", R"({"error":"no such path"})"},
      {"/api/other", "404 Not Found", "application/json", R"({"error":"no such path"})"},
      {"/api/receipts?q=-void", "400 Bad Request", "application/json",
       R"({"error":"q needs a word)"},
      {"/api/receipts.csv?limit=0", "400 Bad Request", "application/json",
       R"({"error":"limit must)"},
      {"/api/receipts?from=2026-13-01", "400 Bad Request", "application/json",
       R"({"error":"from must)"},
  };
  for (const Case& c : cases) {
    const std::string sent = Ask("GET " + std::string(c.target) + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(sent.rfind("HTTP/1.1 " + std::string(c.status) + "\r\n", 0), 0u) << c.target << "\n"
                                                                               << sent;
    EXPECT_NE(sent.find("Content-Type: " + std::string(c.type) + "\r\n"), std::string::npos)
        << c.target;
    EXPECT_NE(sent.find(c.body), std::string::npos) << c.target << "\n" << sent;
  }
  const std::string head = Ask("HEAD /api/receipts/1 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
  EXPECT_NE(head.find("Content-Length: "), std::string::npos);
}

TEST_F(WebJournalTest, AnswersWithoutAJournalNamingIt) {
  WebServer plain{platform, status};
  plain.Listen("127.0.0.1", 8081);
  FakeSocket& listener = *platform.Sockets().back();
  listener.RequestConnection("127.0.0.1");
  FakeSocket& socket = *platform.Sockets().back();
  socket.Arrive("GET /api/receipts?q=x HTTP/1.1\r\n\r\n");
  EXPECT_EQ(socket.sent.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
  EXPECT_NE(socket.sent.find("[journal]"), std::string::npos);
}

TEST_F(WebJournalTest, AnswersPipelinedRequestsInOrderWhileTheJournalIsSlow) {
  Connect();
  FakeSocket& socket = *platform.Sockets().back();
  Worker().Hold();
  socket.Arrive(
      "GET /api/receipts/2.txt HTTP/1.1\r\n\r\nGET /status HTTP/1.1\r\n\r\nGET /api/receipts/3.txt "
      "HTTP/1.1\r\n\r\n");
  platform.RunPosted();
  EXPECT_EQ(socket.sent, "");  // the status waits behind the journal's answer
  EXPECT_TRUE(socket.readingPaused);
  Worker().Release();
  platform.RunPosted();
  const size_t second = socket.sent.find("RECEIPT 2");
  const size_t statusAt = socket.sent.find("\"version\"");
  const size_t third = socket.sent.find("RECEIPT 3");
  EXPECT_LT(second, statusAt);
  EXPECT_LT(statusAt, third);
  EXPECT_NE(third, std::string::npos);
  EXPECT_FALSE(socket.readingPaused);
}

TEST_F(WebJournalTest, GivesNoLateAnswerToTheNextConnectionOfASlot) {
  const size_t slot = Connect();
  FakeSocket& socket = *platform.Sockets().back();
  Worker().Hold();
  socket.Arrive("GET /api/receipts/2.txt HTTP/1.1\r\n\r\n");
  socket.RaiseError(104, "reset");                  // gone before its answer
  EXPECT_EQ(static_cast<size_t>(Connect()), slot);  // the slot goes to the next connection
  socket.Arrive("GET /api/receipts/3.txt HTTP/1.1\r\n\r\n");  // awaits an answer too
  Worker().Release();
  platform.RunPosted();
  EXPECT_EQ(socket.sent.find("RECEIPT 2"), std::string::npos) << socket.sent;
  EXPECT_NE(socket.sent.find("RECEIPT 3"), std::string::npos);
}

TEST_F(WebJournalTest, StreamsTheExportChunkByChunkAsTheClientReads) {
  for (uint64_t seq = 61; seq <= 400; ++seq)
    journal.Add(seq, std::string(1000, 'x') + " " + std::to_string(seq));
  Connect();
  FakeSocket& socket = *platform.Sockets().back();
  socket.Arrive(
      "GET /api/receipts.csv?q=receipt+OR+xxx*+OR+quot* HTTP/1.1\r\n\r\nGET /status "
      "HTTP/1.1\r\n\r\n");
  platform.RunPosted();
  // A chunk waits unsent beyond the low mark: nothing more is read meanwhile.
  const int jobs = Worker().JobsRun();
  platform.RunPosted();
  EXPECT_EQ(Worker().JobsRun(), jobs);
  EXPECT_EQ(socket.sent.find("\"version\""), std::string::npos);
  for (int turn = 0; turn < 100 && socket.sent.find("\"version\"") == std::string::npos; ++turn) {
    socket.DrainAll();
    platform.RunPosted();
  }
  EXPECT_LT(Worker().JobsRun(), 30);
  const std::string& sent = socket.sent;
  ASSERT_NE(sent.find("Transfer-Encoding: chunked\r\n"), std::string::npos);
  EXPECT_NE(sent.find("Content-Type: text/csv; charset=utf-8\r\n"), std::string::npos);
  const size_t body = sent.find("\r\n\r\n") + 4;
  const size_t next = sent.find("HTTP/1.1 200 OK", body);
  bool complete = false;
  const std::string csv = Unchunk(std::string_view(sent).substr(body, next - body), complete);
  EXPECT_TRUE(complete);
  EXPECT_EQ(csv.rfind("seq,time,epoch_ms,cut,text\r\n400,", 0), 0u);
  const std::string last = csv.substr(csv.rfind("\r\n1,"));
  EXPECT_EQ(last.substr(last.find(",1,\"")),
            ",1,\"first \"\"quoted\"\", line\nsecond line\n\"\r\n");
  size_t records = 0;
  for (size_t at = 0; (at = csv.find("\"\r\n", at)) != std::string::npos; at += 3) ++records;
  EXPECT_EQ(records, 400u);
}

TEST_F(WebJournalTest, ServesOtherConnectionsBetweenTheChunksOfAnExport) {
  for (uint64_t seq = 61; seq <= 400; ++seq) journal.Add(seq, std::string(1000, 'x'));
  Connect();
  FakeSocket& exporter = *platform.Sockets().back();
  exporter.Arrive("GET /api/receipts.csv HTTP/1.1\r\n\r\n");
  Connect();
  FakeSocket& other = *platform.Sockets().back();
  other.Arrive("GET /api/receipts/2.txt HTTP/1.1\r\n\r\n");
  // The export's next chunk is asked for as soon as one is sent: behind the other's job.
  for (int turn = 0; turn < 2; ++turn) {
    exporter.DrainAll();
    platform.RunPosted();
  }
  EXPECT_NE(other.sent.find("RECEIPT 2"), std::string::npos);
  EXPECT_EQ(exporter.sent.find("\r\n0\r\n\r\n"), std::string::npos);  // the export goes on
}

TEST_F(WebJournalTest, SendsAnHttp10ClientTheExportUnchunkedUntilTheClose) {
  const std::string sent = Ask("GET /api/receipts.csv?q=refund HTTP/1.0\r\n\r\n");
  EXPECT_EQ(sent.find("Transfer-Encoding"), std::string::npos);
  EXPECT_NE(sent.find("Connection: close\r\n"), std::string::npos);
  const std::string csv = sent.substr(sent.find("\r\n\r\n") + 4);
  EXPECT_EQ(csv.rfind("seq,time,epoch_ms,cut,text\r\n60,", 0), 0u) << csv;
  EXPECT_NE(csv.find("\r\n40,"), std::string::npos);
  EXPECT_EQ(csv.substr(csv.size() - 24), ",0,\"RECEIPT 20 REFUND\"\r\n");
  EXPECT_NE(platform.Sockets().back()->shutdownAt, -1);  // the end of the body
}

TEST_F(WebJournalTest, CutsAnExportShortWhenTheJournalFails) {
  for (uint64_t seq = 61; seq <= 200; ++seq) journal.Add(seq, std::string(1000, 'x'));
  Connect();
  FakeSocket& socket = *platform.Sockets().back();
  socket.Arrive("GET /api/receipts.csv HTTP/1.1\r\n\r\n");
  platform.RunPosted();
  journal.Exec("DROP TABLE receipts_text; DROP TABLE receipts;");
  socket.DrainAll();
  platform.RunPosted();
  EXPECT_EQ(socket.State(), SocketState::kClosed);
  bool complete = true;
  Unchunk(socket.sent.substr(socket.sent.find("\r\n\r\n") + 4), complete);
  EXPECT_FALSE(complete);
}

TEST_F(WebJournalTest, GivesAReconnectingViewerWhatItMissedFromTheJournal) {
  test::TestReceipts receipts(60);
  for (int i = 0; i < 60; ++i) web.OnReceipt(receipts.Next("LIVE\n"));  // 61..120; 71.. held
  for (uint64_t seq = 61; seq <= 120; ++seq) 
    journal.Add(seq, "LIVE", nullptr, seq == 62 ? R"(["refund"])" : nullptr);
  const std::string sent = Ask("GET /receipts HTTP/1.1\r\nLast-Event-ID: 30\r\n\r\n");
  std::vector<uint64_t> ids;
  for (size_t at = 0; (at = sent.find("\nid: ", at)) != std::string::npos; ++at) {
    ids.push_back(std::stoull(sent.substr(at + 5)));
  }
  ASSERT_EQ(ids.size(), 90u) << sent.substr(0, 400);
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], 31 + i);
  EXPECT_NE(sent.find("id: 31\nevent: receipt\ndata: {\"seq\":31,"), std::string::npos);
  // Rule hits as the live events carry them, only where there are any.
  const size_t hit = sent.find(",\"rules\":[\"refund\"]}\n");
  EXPECT_NE(hit, std::string::npos);
  EXPECT_EQ(sent.find("\"rules\""), hit + 1);
  EXPECT_EQ(sent.rfind("\"rules\""), hit + 1);
  // Live receipts follow the history.
  FakeSocket& viewer = *platform.Sockets().back();
  web.OnReceipt(receipts.Next("LIVE\n"));
  EXPECT_NE(viewer.sent.find("\nid: 121\n"), std::string::npos);
}

// Holds no receipt: every picture comes from the journal.
class NoHeldPictures : public PictureSource {
 public:
  bool PictureOf(uint64_t /*sequence*/, std::string& /*png*/) override { return false; }
};

class WebJournalPicturesTest : public WebJournalTest {
 protected:
  WebJournalPicturesTest() {
    journal.Exec("UPDATE receipts SET raw = CAST('frame ' || seq AS BLOB) WHERE seq IN (2, 4, 5)");
    web.SetPictureSource(&held);
    web.SetStoredPictureMaker([](std::string_view frame, std::string& png) {
      if (frame == "frame 5") return false;  // e.g. a card number in it
      png.assign("drawn from ").append(frame);
      return true;
    });
  }
  NoHeldPictures held;
};

TEST_F(WebJournalPicturesTest, DrawsAStoredFrameAndAnswersWhatHasNone) {
  const std::string drawn = Ask("GET /receipts/2.png HTTP/1.1\r\n\r\n");
  EXPECT_EQ(drawn.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << drawn;
  EXPECT_NE(drawn.find("Content-Type: image/png\r\n"), std::string::npos);
  EXPECT_EQ(drawn.substr(drawn.find("\r\n\r\n") + 4), "drawn from frame 2");
  for (const char* none : {"3", "5", "99"}) {  // kept without bytes, declined, unknown
    const std::string sent = Ask("GET /receipts/" + std::string(none) + ".png HTTP/1.1\r\n\r\n");
    EXPECT_EQ(sent.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << none << "\n" << sent;
  }
  journal.Exec("DROP TABLE receipts_text; DROP TABLE receipts;");
  const std::string failed = Ask("GET /receipts/2.png HTTP/1.1\r\n\r\n");
  EXPECT_EQ(failed.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << failed;
  EXPECT_NE(failed.find("{\"error\":\"the journal cannot be read: "), std::string::npos) << failed;
}

TEST_F(WebJournalPicturesTest, GivesNoLatePictureToTheNextConnectionOfASlot) {
  const size_t slot = Connect();
  FakeSocket& gone = *platform.Sockets().back();
  Worker().Hold();
  gone.Arrive("GET /receipts/2.png HTTP/1.1\r\n\r\n");
  gone.RaiseError(104, "reset");
  EXPECT_EQ(Connect(), slot);
  FakeSocket& next = *platform.Sockets().back();
  next.Arrive("GET /receipts/4.png HTTP/1.1\r\n\r\n");
  Worker().Release();
  platform.RunPosted();
  EXPECT_EQ(next.sent.find("frame 2"), std::string::npos) << next.sent;
  EXPECT_NE(next.sent.find("drawn from frame 4"), std::string::npos) << next.sent;
}

}  // namespace
}  // namespace tavrik
