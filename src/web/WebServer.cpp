#include "web/WebServer.h"

#include <exception>

#include "Version.h"
#include "log/LogFailure.h"
#include "web/HttpResponse.h"
#include "web/StatusReport.h"
#include "web/ViewerPage.h"

namespace tavrik {
namespace {

const Payload& KeepAliveComment() {
  static const Payload comment = MakePayload(": keep-alive\n\n");
  return comment;
}

}  // namespace

class WebServer::ConnectionEvents : public SocketEvents {
 public:
  ConnectionEvents(WebServer& server, int index) : server_(server), index_(index) {}
  void OnData() override { server_.OnData(index_); }
  void OnSendProgress(int32_t, int32_t bytesRemaining) override {
    server_.OnSendProgress(index_, bytesRemaining);
  }
  void OnSendComplete() override { server_.OnSendComplete(index_); }
  void OnClosed() override { server_.CloseConnection(index_); }
  void OnError(int, const std::string&) override { server_.CloseConnection(index_); }

 private:
  WebServer& server_;
  int index_;
};

WebServer::WebServer(Platform& platform, const StatusSource& status)
    : platform_(platform),
      status_(status),
      listener_(platform, [this](int32_t requestId) { OnConnectionRequest(requestId); }),
      keepAlive_(platform.CreateTimer()),
      page_(MakePayload(std::string(ViewerPage()))) {
  connections_.reserve(kMaxConnections);
  keepAlive_->SetTickHandler([this] { OnKeepAliveTick(); });
}

WebServer::~WebServer() = default;

void WebServer::Listen(const std::string& address, int port) {
  keepAlive_->Start(kKeepAliveMs);
  listener_.Listen(address, port);
}

void WebServer::Close() {
  keepAlive_->Stop();
  listener_.Close();
  for (Connection& connection : connections_) connection.socket->Close();
}

int WebServer::ConnectionCount() const {
  int count = 0;
  for (const Connection& connection : connections_) {
    count += connection.socket->State() == SocketState::kConnected ? 1 : 0;
  }
  return count;
}

RelayStatus WebServer::Status() const {
  RelayStatus status = status_.CurrentStatus();
  status.webPort = listener_.IsListening() ? "listening" : "retrying";
  status.webConnections = ConnectionCount();
  status.receiptsSkipped = receiptsSkipped_;
  status.lastFrameTime = feed_.NewestTime();
  return status;
}

// A closed slot, or a new one while fewer than kMaxConnections exist; a slot
// left over from a connection its peer closed is closed and taken.
void WebServer::OnConnectionRequest(int32_t requestId) {
  try {
    Connection* free = nullptr;
    for (Connection& connection : connections_) {
      if (connection.socket->State() == SocketState::kConnected) continue;
      connection.socket->Close();
      free = &connection;
      break;
    }
    if (!free && connections_.size() < kMaxConnections) {
      const int index = static_cast<int>(connections_.size());
      Connection& added = connections_.emplace_back();
      added.events = std::make_unique<ConnectionEvents>(*this, index);
      added.socket = platform_.CreateSocket();
      added.socket->SetEvents(added.events.get());
      free = &added;
    }
    if (!free) return;  // all taken: the request is closed
    free->parser.Reset();
    free->streaming = false;
    free->closeWhenSent = false;
    free->unsentBytes = 0;
    free->idlePeriods = 0;
    free->socket->Accept(requestId);
  } catch (const std::exception& e) {
    LogFailure("Web ConnectionRequest error: ", e);
  }
}

void WebServer::OnData(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  try {
    connection.socket->Read(request_);
    connection.idlePeriods = 0;
    // A stream's viewer has nothing more to say; after the last response
    // nothing more is read.
    if (connection.streaming || connection.closeWhenSent) return;
    connection.parser.Append(request_);
    HttpRequest request;
    while (!connection.streaming && !connection.closeWhenSent) {
      const HttpRequestParser::Result result = connection.parser.Next(request);
      if (result == HttpRequestParser::Result::kIncomplete) break;
      if (result == HttpRequestParser::Result::kBad) {
        RespondBad(connection);
        break;
      }
      // A client that asks on and on without reading the answers is cut off.
      if (connection.unsentBytes > kMaxQueuedBytes) return CloseConnection(index);
      Respond(connection, request);
    }
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

void WebServer::RespondBad(Connection& connection) {
  const Payload response = MakePayload(HttpErrorResponse(400, false, true));
  connection.closeWhenSent = true;
  Send(connection, std::span<const Payload>(&response, 1));
}

void WebServer::Respond(Connection& connection, const HttpRequest& request) {
  const bool head = request.method == "HEAD";
  // A body is not read: the connection ends with this response.
  const bool keepAlive = request.keepAlive && !request.hasBody;
  Resource resource = Resource::kNone;
  if (request.path == "/") resource = Resource::kViewer;
  if (request.path == "/receipts") resource = Resource::kReceipts;
  if (request.path == "/status") resource = Resource::kStatus;
  if (request.path == "/metrics") resource = Resource::kMetrics;

  parts_.clear();
  if (!head && request.method != "GET") {
    parts_.push_back(MakePayload(HttpErrorResponse(405, keepAlive, true)));
  } else if (resource == Resource::kNone) {
    parts_.push_back(MakePayload(HttpErrorResponse(404, keepAlive, !head)));
  } else if (resource == Resource::kReceipts) {
    parts_.push_back(MakePayload(HttpResponseHead(200, "text/event-stream; charset=utf-8",
                                                  std::nullopt, head && keepAlive)));
    if (!head) {
      parts_.push_back(MakePayload("retry: " + std::to_string(kReconnectMs) + "\n\n"));
      for (const Payload& event : feed_.EventsAfter(request.lastEventId)) parts_.push_back(event);
      connection.streaming = true;
    }
  } else {
    Payload body = page_;
    std::string_view type = "text/html; charset=utf-8";
    if (resource == Resource::kStatus) {
      body = MakePayload(StatusJson(Status(), kVersion));
      type = "application/json";
    } else if (resource == Resource::kMetrics) {
      body = MakePayload(MetricsText(Status(), kVersion));
      type = "text/plain; version=0.0.4; charset=utf-8";
    }
    const std::string_view policy =
        resource == Resource::kViewer
            ? "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
              "script-src 'unsafe-inline'; connect-src 'self'; img-src data:\r\n"
            : "";
    parts_.push_back(MakePayload(HttpResponseHead(200, type, body.size(), keepAlive, policy)));
    if (!head) parts_.push_back(body);
  }
  if (!keepAlive && !connection.streaming) connection.closeWhenSent = true;
  Send(connection, parts_);
}

void WebServer::Send(Connection& connection, std::span<const Payload> parts) {
  connection.socket->Send(parts);
  for (const Payload& part : parts) connection.unsentBytes += static_cast<int64_t>(part.size());
}

void WebServer::OnSendProgress(int index, int32_t bytesRemaining) {
  connections_[static_cast<size_t>(index)].unsentBytes = bytesRemaining;
}

void WebServer::OnSendComplete(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  connection.unsentBytes = 0;
  if (connection.closeWhenSent) CloseConnection(index);
}

void WebServer::CloseConnection(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  connection.streaming = false;
  connection.closeWhenSent = false;
  try {
    connection.socket->Close();
  } catch (const std::exception&) {
    // Closed as far as it goes: the slot is reused either way.
  }
}

void WebServer::AddFrame(std::string_view frame) {
  const Payload& event = feed_.Add(frame, platform_.GetClock().LocalDateTimeText());
  for (size_t i = 0; i < connections_.size(); ++i) {
    Connection& connection = connections_[i];
    if (!connection.streaming || connection.socket->State() != SocketState::kConnected) continue;
    if (connection.unsentBytes >= kMaxQueuedBytes) {
      ++receiptsSkipped_;
      continue;
    }
    try {
      Send(connection, std::span<const Payload>(&event, 1));
    } catch (const std::exception&) {
      CloseConnection(static_cast<int>(i));
    }
  }
}

void WebServer::OnKeepAliveTick() {
  for (size_t i = 0; i < connections_.size(); ++i) {
    Connection& connection = connections_[i];
    if (connection.socket->State() != SocketState::kConnected) continue;
    if (!connection.streaming) {
      if (++connection.idlePeriods >= kIdlePeriods) CloseConnection(static_cast<int>(i));
      continue;
    }
    if (connection.unsentBytes >= kMaxQueuedBytes) continue;
    try {
      Send(connection, std::span<const Payload>(&KeepAliveComment(), 1));
    } catch (const std::exception&) {
      CloseConnection(static_cast<int>(i));
    }
  }
}

}  // namespace tavrik
