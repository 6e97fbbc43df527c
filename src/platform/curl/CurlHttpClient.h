#pragma once
// HttpClient on libcurl's multi interface, driven by the event thread's
// io_context: curl says which sockets to watch and when its timeout falls,
// Asio waits for them and hands each readiness back to curl. Name lookups
// run on curl's own resolver thread, so nothing here ever blocks.
#include <curl/curl.h>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/HttpClient.h"

namespace tavrik {

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(asio::io_context& context);
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  uint64_t Send(OutgoingHttpRequest request, Completion done) override;
  void Cancel(uint64_t id) override;
  size_t Active() const override { return transfers_.size(); }

 private:
  struct Transfer {
    uint64_t id = 0;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    OutgoingHttpRequest request;  // curl reads the body and strings from here
    HttpOutcome outcome;
    Completion done;
    ~Transfer();
  };
  // A socket curl asked to have watched: readiness waits on a descriptor
  // that never owns the socket (curl closes it).
  struct Watch {
    explicit Watch(asio::io_context& context) : descriptor(context) {}
    asio::posix::stream_descriptor descriptor;
    int wanted = CURL_POLL_NONE;
    bool reading = false;
    bool writing = false;
    bool gone = false;
  };

  static int OnSocket(CURL* easy, curl_socket_t socket, int what, void* self, void* socketData);
  static int OnTimeout(CURLM* multi, long timeoutMs, void* self);
  static int OnClose(void* self, curl_socket_t socket);
  static size_t OnBody(char* data, size_t size, size_t count, void* transfer);
  void WatchSocket(curl_socket_t socket, int what);
  void Forget(curl_socket_t socket);
  void Arm(curl_socket_t socket, const std::shared_ptr<Watch>& watch);
  void Act(curl_socket_t socket, int flags);
  void FinishDone();

  asio::io_context& context_;
  CURLM* multi_ = nullptr;
  asio::steady_timer timer_;
  std::map<curl_socket_t, std::shared_ptr<Watch>> watches_;
  std::map<uint64_t, std::unique_ptr<Transfer>> transfers_;
  uint64_t lastId_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrik
