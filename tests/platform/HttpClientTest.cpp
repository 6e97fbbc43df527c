#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/asio/AsioPlatform.h"
#include "platform/asio/HttpClientFactory.h"

namespace tavrik {
namespace {

using asio::ip::tcp;

// A loopback HTTP server on the client's own event thread: were the client
// ever to block that thread, no answer could come and the test would fail
// by its deadline.
class LoopbackServer {
 public:
  // answer: the bytes sent back to a request; empty: never answers.
  LoopbackServer(asio::io_context& context, std::string answer)
      : acceptor_(context, tcp::endpoint(asio::ip::address_v4::loopback(), 0)), answer_(std::move(answer)) {
    Accept();
  }
  int Port() const { return acceptor_.local_endpoint().port(); }
  const std::vector<std::string>& Requests() const { return requests_; }

 private:
  struct Exchange {
    explicit Exchange(asio::io_context& context) : socket(context) {}
    tcp::socket socket;
    asio::streambuf buffer;
  };
  void Accept() {
    auto exchange = std::make_shared<Exchange>(static_cast<asio::io_context&>(acceptor_.get_executor().context()));
    acceptor_.async_accept(exchange->socket, [this, exchange](const asio::error_code& error) {
      if (error) return;
      Accept();
      asio::async_read_until(exchange->socket, exchange->buffer, "\r\n\r\n",
                             [this, exchange](const asio::error_code& readError, size_t) {
                               if (readError) return;
                               ReadBody(exchange);
                             });
    });
  }
  void ReadBody(const std::shared_ptr<Exchange>& exchange) {
    std::string text(asio::buffers_begin(exchange->buffer.data()), asio::buffers_end(exchange->buffer.data()));
    const size_t headEnd = text.find("\r\n\r\n") + 4;
    size_t length = 0;
    if (const size_t at = text.find("Content-Length: "); at != std::string::npos) length = std::stoul(text.substr(at + 16));
    if (text.size() < headEnd + length) {
      asio::async_read(exchange->socket, exchange->buffer, asio::transfer_exactly(headEnd + length - text.size()),
                       [this, exchange](const asio::error_code& error, size_t) {
                         if (!error) ReadBody(exchange);
                       });
      return;
    }
    requests_.push_back(text);
    if (answer_.empty()) {
      held_.push_back(exchange);  // open, never answered
      return;
    }
    asio::async_write(exchange->socket, asio::buffer(answer_), [exchange](const asio::error_code&, size_t) {
      exchange->socket.shutdown(tcp::socket::shutdown_both);
    });
  }

  tcp::acceptor acceptor_;
  std::string answer_;
  std::vector<std::string> requests_;
  std::vector<std::shared_ptr<Exchange>> held_;
};

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HttpClientAvailable()) GTEST_SKIP() << "this build has no HTTP client";
    client_ = platform_.CreateHttpClient();
    deadline_.expires_after(std::chrono::seconds(20));
    deadline_.async_wait([this](const asio::error_code& error) {
      if (!error) platform_.Stop();
    });
  }
  void RunUntil(size_t outcomes) {
    want_ = outcomes;
    if (outcomes_.size() < want_) platform_.Run();
    deadline_.cancel();
  }
  HttpClient::Completion Collect() {
    return [this](const HttpOutcome& outcome) {
      outcomes_.push_back(outcome);
      if (outcomes_.size() == want_) platform_.Stop();
    };
  }

  AsioPlatform platform_{"/tmp"};
  asio::steady_timer deadline_{platform_.Context()};
  std::unique_ptr<HttpClient> client_;
  std::vector<HttpOutcome> outcomes_;
  size_t want_ = 0;
};

TEST_F(HttpClientTest, PostsWithHeadersAuthAndBodyAndGetsTheAnswer) {
  LoopbackServer server(platform_.Context(), "HTTP/1.1 201 Created\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
  OutgoingHttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/api/events";
  request.headers = {"Content-Type: application/json"};
  request.body = std::string(3000, 'x');  // above curl's size for waiting on "100 Continue"
  request.auth = HttpAuth::kBasic;
  request.username = "till";
  request.password = "secret";
  bool sendReturned = false;
  client_->Send(request, [&](const HttpOutcome& outcome) {
    EXPECT_TRUE(sendReturned);  // never from inside Send
    Collect()(outcome);
  });
  sendReturned = true;
  RunUntil(1);
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].status, 201);
  EXPECT_EQ(outcomes_[0].body, "ok");
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string& seen = server.Requests()[0];
  EXPECT_EQ(seen.rfind("POST /api/events HTTP/1.1\r\n", 0), 0u) << seen;
  EXPECT_NE(seen.find("Content-Type: application/json\r\n"), std::string::npos);
  EXPECT_NE(seen.find("Authorization: Basic dGlsbDpzZWNyZXQ=\r\n"), std::string::npos);
  EXPECT_EQ(seen.find("Expect:"), std::string::npos);
  EXPECT_EQ(seen.substr(seen.size() - 3000), request.body);
  EXPECT_EQ(client_->Active(), 0u);
}

// No answer is an outcome too: refused, timed out. Many at once all end.
TEST_F(HttpClientTest, RefusedAndSilentServersEndWithAnError) {
  LoopbackServer silent(platform_.Context(), "");
  tcp::acceptor closed(platform_.Context(), tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  const int closedPort = closed.local_endpoint().port();
  closed.close();
  for (int i = 0; i < 10; ++i) {
    OutgoingHttpRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(i % 2 ? silent.Port() : closedPort) + "/";
    request.timeoutMs = 500;
    client_->Send(request, Collect());
  }
  RunUntil(10);
  ASSERT_EQ(outcomes_.size(), 10u);
  for (const HttpOutcome& outcome : outcomes_) {
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(outcome.error.empty());
  }
}

// A cancelled request, or one under way when the client goes, never completes.
TEST_F(HttpClientTest, CancelledAndAbandonedRequestsNeverComplete) {
  LoopbackServer silent(platform_.Context(), "");
  LoopbackServer answering(platform_.Context(), "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
  OutgoingHttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/";
  bool cancelledRan = false;
  const uint64_t cancelled = client_->Send(request, [&](const HttpOutcome&) { cancelledRan = true; });
  client_->Send(request, [&](const HttpOutcome&) { cancelledRan = true; });  // abandoned below
  client_->Cancel(cancelled);
  request.url = "http://127.0.0.1:" + std::to_string(answering.Port()) + "/";
  client_->Send(request, Collect());
  RunUntil(1);
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].status, 204);
  client_.reset();
  platform_.Loop().RunPending();
  EXPECT_FALSE(cancelledRan);
}

}  // namespace
}  // namespace tavrik
