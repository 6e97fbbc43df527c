#include "platform/curl/CurlHttpClient.h"

#include <unistd.h>

#include <asio/post.hpp>
#include <chrono>
#include <mutex>
#include <vector>

#include "platform/asio/HttpClientFactory.h"

namespace tavrik {

std::unique_ptr<HttpClient> CreateSystemHttpClient(asio::io_context& context) {
  return std::make_unique<CurlHttpClient>(context);
}

bool HttpClientAvailable() { return true; }

CurlHttpClient::Transfer::~Transfer() {
  if (easy) curl_easy_cleanup(easy);
  curl_slist_free_all(headers);
}

CurlHttpClient::CurlHttpClient(asio::io_context& context) : context_(context), timer_(context) {
  static std::once_flag initialized;
  std::call_once(initialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlHttpClient::OnSocket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlHttpClient::OnTimeout);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
}

CurlHttpClient::~CurlHttpClient() {
  *alive_ = false;
  for (auto& [id, transfer] : transfers_) curl_multi_remove_handle(multi_, transfer->easy);
  transfers_.clear();          // closes the transfers' connections (OnClose)
  curl_multi_cleanup(multi_);  // and the cached ones
  for (auto& [socket, watch] : watches_) watch->descriptor.release();
  timer_.cancel();
}

uint64_t CurlHttpClient::Send(OutgoingHttpRequest request, Completion done) {
  auto transfer = std::make_unique<Transfer>();
  transfer->id = ++lastId_;
  transfer->request = std::move(request);
  transfer->done = std::move(done);
  const OutgoingHttpRequest& r = transfer->request;
  CURL* easy = curl_easy_init();
  transfer->easy = easy;
  curl_easy_setopt(easy, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(r.timeoutMs));
  curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlHttpClient::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &CurlHttpClient::OnClose);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
  if (r.method == "POST") {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, r.body.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
  } else if (r.method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.method.c_str());
    if (!r.body.empty()) {
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, r.body.data());
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    }
  }
  // Without this curl waits up to a second for a "100 Continue" that small
  // servers never send before it sends a larger body.
  transfer->headers = curl_slist_append(transfer->headers, "Expect:");
  for (const std::string& header : r.headers) transfer->headers = curl_slist_append(transfer->headers, header.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
  if (r.auth != HttpAuth::kNone) {
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, r.auth == HttpAuth::kBasic ? CURLAUTH_BASIC : CURLAUTH_DIGEST);
    curl_easy_setopt(easy, CURLOPT_USERNAME, r.username.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, r.password.c_str());
  }
  if (!r.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, r.caFile.c_str());
  const uint64_t id = transfer->id;
  transfers_.emplace(id, std::move(transfer));
  // Only arms the timeout (OnTimeout): the transfer starts from the event
  // loop, so the completion can never run inside Send.
  curl_multi_add_handle(multi_, easy);
  return id;
}

void CurlHttpClient::Cancel(uint64_t id) {
  const auto it = transfers_.find(id);
  if (it == transfers_.end()) return;
  curl_multi_remove_handle(multi_, it->second->easy);
  transfers_.erase(it);
}

int CurlHttpClient::OnSocket(CURL* /*easy*/, curl_socket_t socket, int what, void* self, void* /*socketData*/) {
  auto* client = static_cast<CurlHttpClient*>(self);
  if (what == CURL_POLL_REMOVE) {
    client->Forget(socket);
  } else {
    client->WatchSocket(socket, what);
  }
  return 0;
}

int CurlHttpClient::OnTimeout(CURLM* /*multi*/, long timeoutMs, void* self) {
  auto* client = static_cast<CurlHttpClient*>(self);
  client->timer_.cancel();
  if (timeoutMs < 0) return 0;
  client->timer_.expires_after(std::chrono::milliseconds(timeoutMs));
  client->timer_.async_wait([client, alive = client->alive_](const asio::error_code& error) {
    if (error || !*alive) return;
    client->Act(CURL_SOCKET_TIMEOUT, 0);
  });
  return 0;
}

int CurlHttpClient::OnClose(void* self, curl_socket_t socket) {
  static_cast<CurlHttpClient*>(self)->Forget(socket);
  return ::close(socket);
}

size_t CurlHttpClient::OnBody(char* data, size_t size, size_t count, void* transfer) {
  std::string& body = static_cast<Transfer*>(transfer)->outcome.body;
  const size_t bytes = size * count;
  const size_t room = HttpOutcome::kMaxBodyBytes - std::min(body.size(), HttpOutcome::kMaxBodyBytes);
  body.append(data, std::min(bytes, room));
  return bytes;  // the rest is read and dropped: an answer's size is not ours to bound
}

void CurlHttpClient::WatchSocket(curl_socket_t socket, int what) {
  auto& watch = watches_[socket];
  if (!watch) {
    watch = std::make_shared<Watch>(context_);
    asio::error_code error;
    watch->descriptor.assign(socket, error);
    if (error) {
      watches_.erase(socket);
      return;  // curl's own timeout ends the transfer
    }
  }
  watch->wanted = what;
  Arm(socket, watch);
}

void CurlHttpClient::Forget(curl_socket_t socket) {
  const auto it = watches_.find(socket);
  if (it == watches_.end()) return;
  it->second->gone = true;
  it->second->descriptor.release();  // cancels its waits; curl owns the socket
  watches_.erase(it);
}

void CurlHttpClient::Arm(curl_socket_t socket, const std::shared_ptr<Watch>& watch) {
  const auto wait = [this, socket, watch](asio::posix::descriptor_base::wait_type type, bool& pending, int flag) {
    if (pending) return;
    pending = true;
    watch->descriptor.async_wait(type, [this, socket, watch, &pending, flag, alive = alive_](const asio::error_code& error) {
      pending = false;
      if (!*alive || watch->gone || error) return;
      Act(socket, flag);
      if (!watch->gone) Arm(socket, watch);
    });
  };
  if (watch->wanted & CURL_POLL_IN) wait(asio::posix::descriptor_base::wait_read, watch->reading, CURL_CSELECT_IN);
  if (watch->wanted & CURL_POLL_OUT) wait(asio::posix::descriptor_base::wait_write, watch->writing, CURL_CSELECT_OUT);
}

void CurlHttpClient::Act(curl_socket_t socket, int flags) {
  int running = 0;
  curl_multi_socket_action(multi_, socket, flags, &running);
  FinishDone();
}

void CurlHttpClient::FinishDone() {
  // Every finished transfer leaves the table before any completion runs: a
  // completion may send again or cancel others.
  std::vector<std::unique_ptr<Transfer>> finished;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    void* data = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &data);
    auto* transfer = static_cast<Transfer*>(data);
    if (message->data.result == CURLE_OK) {
      long status = 0;
      curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
      transfer->outcome.status = static_cast<int32_t>(status);
    } else {
      transfer->outcome.error = curl_easy_strerror(message->data.result);
    }
    curl_multi_remove_handle(multi_, transfer->easy);
    const auto it = transfers_.find(transfer->id);
    finished.push_back(std::move(it->second));
    transfers_.erase(it);
  }
  const std::shared_ptr<bool> alive = alive_;
  for (auto& transfer : finished) {
    if (!*alive) return;  // a completion destroyed the client
    if (transfer->done) transfer->done(transfer->outcome);
  }
}

}  // namespace tavrik
