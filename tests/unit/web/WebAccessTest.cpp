// The web port with logins and the loopback rule, on simulated time: the
// slow check of a login runs on the fake worker, which the tests hold.
#include <gtest/gtest.h>

#include <string>

#include "platform/fake/FakePlatform.h"
#include "support/LogCapture.h"
#include "web/WebServer.h"
#include "webaccess/PasswordHash.h"

namespace tavrik {
namespace {

class NoStatus : public StatusSource {
 public:
  RelayStatus CurrentStatus() const override { return {}; }
};

size_t Occurrences(const std::string& text, const std::string& word) {
  size_t count = 0;
  for (size_t at = 0; (at = text.find(word, at)) != std::string::npos; at += word.size()) ++count;
  return count;
}

constexpr const char* kAlice = "Authorization: Basic YWxpY2U6czNjcmV0\r\n";  // alice:s3cret
constexpr const char* kWrong = "Authorization: Basic YWxpY2U6d3Jvbmc=\r\n";  // alice:wrong

class WebAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PasswordHashAvailable()) GTEST_SKIP() << "this build has no login support";
  }
  void Start(bool withUsers) {
    WebAccessSettings settings;
    settings.realm = "Desk";
    // htpasswd -nbB -C 4 alice s3cret
    if (withUsers) settings.users = {{"alice", "$2y$04$ZHYUJkesi.drpZDFype9cOgVL8ixNwpU5bEqEPhggwV3lDFZSlby6"}};
    web.SetAccess(settings);
    web.Listen("", 8080);
  }
  FakeSocket& Listener() { return *platform.Sockets().at(0); }
  FakeSocket& Connection(size_t i) { return *platform.Sockets().at(1 + i); }
  FakeBackgroundWorker& Worker() { return *platform.Workers().at(0); }
  FakeSocket& Ask(const std::string& request, const std::string& peer = "127.0.0.1") {
    Listener().RequestConnection(peer);
    FakeSocket& socket = Connection(0);
    socket.sent.clear();
    socket.Arrive(request);
    return socket;
  }
  static std::string Get(const std::string& path, const std::string& fields = "") {
    return "GET " + path + " HTTP/1.1\r\n" + fields + "\r\n";
  }

  test::LogCapture log{0};
  FakePlatform platform;
  NoStatus status;
  WebServer web{platform, status};
};

// A login's check takes a worker's turn; the requests after it wait unread
// and are answered in order once the verdict is in, and the login is then
// known without another check.
TEST_F(WebAccessTest, RequestsWaitForTheVerdictInOrder) {
  Start(true);
  Worker().Hold();
  FakeSocket& socket = Ask(Get("/status", kAlice) + Get("/missing", kAlice) + Get("/", kWrong));
  EXPECT_EQ(socket.sent, "");
  EXPECT_TRUE(socket.readingPaused);
  socket.Arrive(Get("/metrics"));  // public: still after the others
  EXPECT_EQ(socket.sent, "");
  Worker().Release();
  platform.RunPosted();
  const size_t ok = socket.sent.find("HTTP/1.1 200 OK");
  const size_t missing = socket.sent.find("HTTP/1.1 404 Not Found");
  const size_t refused = socket.sent.find("HTTP/1.1 401 Unauthorized");
  const size_t metrics = socket.sent.find("HTTP/1.1 200 OK", ok + 1);
  EXPECT_TRUE(ok < missing && missing < refused && refused < metrics && metrics != std::string::npos)
      << socket.sent;
  EXPECT_NE(socket.sent.find("WWW-Authenticate: Basic realm=\"Desk\", charset=\"UTF-8\"\r\n"), std::string::npos);
  EXPECT_EQ(Worker().JobsRun(), 2);  // alice once, the wrong password once
  EXPECT_FALSE(socket.readingPaused);

  socket.sent.clear();
  socket.Arrive(Get("/status", kAlice) + Get("/status"));
  EXPECT_EQ(Occurrences(socket.sent, "HTTP/1.1 200 OK"), 1u) << socket.sent;
  EXPECT_EQ(Occurrences(socket.sent, "HTTP/1.1 401 Unauthorized"), 1u);  // no credentials: asked, not checked
  EXPECT_EQ(Worker().JobsRun(), 2);
}

// A verdict for a connection gone meanwhile reaches nobody, not the next
// connection of its slot; its failure still counts.
TEST_F(WebAccessTest, VerdictForAClosedConnectionIsDropped) {
  Start(true);
  Worker().Hold();
  FakeSocket& socket = Ask(Get("/", kWrong) + Get("/", kWrong));
  socket.RaiseError(104, "reset");
  EXPECT_EQ(web.ConnectionCount(), 0);
  Ask(Get("/", kAlice));  // the same slot, a new client
  EXPECT_EQ(Worker().Pending(), 2u);
  Worker().Release();
  platform.RunPosted();
  EXPECT_EQ(Occurrences(socket.sent, "HTTP/1.1 "), 1u) << socket.sent;
  EXPECT_EQ(socket.sent.rfind("HTTP/1.1 200 OK", 0), 0u);
}

// Ten wrong logins within a minute: 429 for a minute, one log line.
TEST_F(WebAccessTest, TenWrongLoginsLockTheAddressOut) {
  Start(true);
  FakeSocket& socket = Ask("", "192.0.2.10");
  for (int i = 0; i < 10; ++i) {
    socket.Arrive(Get("/", kWrong));
    platform.RunPosted();
  }
  EXPECT_EQ(Occurrences(socket.sent, "HTTP/1.1 401 Unauthorized"), 10u);
  socket.sent.clear();
  socket.Arrive(Get("/", kAlice));
  EXPECT_EQ(socket.sent.rfind("HTTP/1.1 429 Too Many Requests\r\n", 0), 0u) << socket.sent;
  EXPECT_NE(socket.sent.find("Retry-After: 60\r\n"), std::string::npos);
  EXPECT_EQ(Worker().JobsRun(), 10);  // a locked-out address costs no checks
  EXPECT_EQ(Occurrences(log.Text(), "10 failed logins from 192.0.2.10 within a minute: refused for a minute."), 1u);
  platform.Advance(FailedLogins::kLockMs);
  const FakeSocket& later = Ask(Get("/", kAlice), "192.0.2.10");
  platform.RunPosted();
  EXPECT_EQ(later.sent.rfind("HTTP/1.1 200 OK", 0), 0u) << later.sent;
}

TEST_F(WebAccessTest, WithoutUsersJournalPathsAreForLoopbackPeersOnly) {
  Start(false);
  FakeSocket& stranger = Ask(Get("/api/receipts") + Get("/status"), "192.0.2.10");
  EXPECT_EQ(stranger.sent.rfind("HTTP/1.1 403 Forbidden\r\n", 0), 0u) << stranger.sent;
  EXPECT_NE(stranger.sent.find("Content-Type: application/json\r\n"), std::string::npos);
  EXPECT_NE(stranger.sent.find("set users_file in [web]"), std::string::npos);
  EXPECT_NE(stranger.sent.find("HTTP/1.1 200 OK"), std::string::npos);  // the rest as always
  stranger.RaiseError(104, "reset");
  const FakeSocket& local = Ask(Get("/api/receipts"), "::ffff:127.0.0.1");
  EXPECT_EQ(local.sent.rfind("HTTP/1.1 404 Not Found", 0), 0u) << local.sent;
  EXPECT_TRUE(platform.Workers().empty());
}

}  // namespace
}  // namespace tavrik
