#include "web/WebServer.h"

#include <algorithm>
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
    server_.OnSendDrained(index_, bytesRemaining);
  }
  void OnSendComplete() override { server_.OnSendDrained(index_, 0); }
  void OnClosed() override { server_.OnPeerClosed(index_); }
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
  for (size_t i = 0; i < connections_.size(); ++i) CloseConnection(static_cast<int>(i));
}

int WebServer::ConnectionCount() const {
  return static_cast<int>(
      std::count_if(connections_.begin(), connections_.end(),
                    [](const Connection& c) { return c.phase != Phase::kFree; }));
}

RelayStatus WebServer::Status() const {
  RelayStatus status = status_.CurrentStatus();
  status.webPort = listener_.IsListening() ? "listening" : "retrying";
  status.webConnections = ConnectionCount();
  status.receiptsSkipped = receiptsSkipped_;
  return status;
}

void WebServer::OnConnectionRequest(int32_t requestId) {
  try {
    Connection* slot = SlotForNewConnection();
    if (!slot) return;  // all busy: the request is closed
    slot->socket->Accept(requestId);
    slot->phase = Phase::kAsking;
    slot->unsentBytes = 0;
    slot->idlePeriods = 0;
    slot->waitingSince = ++turn_;
  } catch (const std::exception& e) {
    LogFailure("Web ConnectionRequest error: ", e);
  }
}

// A free slot, or a new one while fewer than kMaxConnections exist; else the
// slot of a connection that only lingers or, failing that, of the one that
// has waited longest for its client's next request, closed here. Null when
// every connection is busy.
WebServer::Connection* WebServer::SlotForNewConnection() {
  for (Connection& connection : connections_) {
    if (connection.phase == Phase::kFree) return &connection;
  }
  if (connections_.size() < kMaxConnections) {
    const int index = static_cast<int>(connections_.size());
    Connection& added = connections_.emplace_back();
    added.events = std::make_unique<ConnectionEvents>(*this, index);
    added.socket = platform_.CreateSocket();
    added.socket->SetEvents(added.events.get());
    added.deadline = platform_.CreateTimer();
    added.deadline->SetTickHandler([this, index] { OnDeadline(index); });
    return &added;
  }
  Connection* chosen = nullptr;
  for (Connection& connection : connections_) {
    if (connection.phase == Phase::kLingering) {
      chosen = &connection;
      break;
    }
    const bool waiting = connection.phase == Phase::kAsking && !connection.held &&
                         !connection.peerDone && connection.unsentBytes == 0;
    if (waiting && (!chosen || connection.waitingSince < chosen->waitingSince))
      chosen = &connection;
  }
  if (chosen) CloseConnection(static_cast<int>(chosen - connections_.data()));
  return chosen;
}

void WebServer::OnData(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  try {
    if (connection.phase == Phase::kAsking) {
      // While held, what arrives waits in the socket, bounded by its paused reading.
      if (!connection.held) ReadRequests(index);
      return;
    }
    // A stream's viewer has nothing more to say; after the last answer
    // nothing more is answered.
    connection.socket->Read(request_);
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

void WebServer::ReadRequests(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  connection.socket->Read(request_);
  if (!request_.empty()) {
    connection.idlePeriods = 0;
    connection.parser.Append(request_);
  }
  AnswerRequests(index);
}

// Answers the requests read so far, in order, until too much waits unsent.
void WebServer::AnswerRequests(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  HttpRequest request;
  while (connection.phase == Phase::kAsking) {
    if (connection.unsentBytes > kMaxQueuedBytes) {
      // The client reads its answers before it is heard again.
      if (!connection.held) connection.socket->PauseReading();
      connection.held = true;
      connection.deadline->Stop();
      return;
    }
    const HttpRequestParser::Result result = connection.parser.Next(request);
    if (result == HttpRequestParser::Result::kIncomplete) break;
    connection.deadline->Stop();
    if (result == HttpRequestParser::Result::kBad) {
      RespondBad(connection);
      return;
    }
    connection.waitingSince = ++turn_;
    connection.idlePeriods = 0;
    Respond(connection, request);
  }
  if (connection.phase != Phase::kAsking) return;
  if (connection.peerDone) {
    // Nothing more comes: a head begun stays incomplete.
    if (connection.unsentBytes == 0) CloseConnection(index);
    return;
  }
  // Trickling does not move the deadline: it runs from the head's first byte.
  if (connection.parser.BufferedBytes() > 0 && !connection.deadline->IsRunning()) {
    connection.deadline->Start(kRequestHeadMs);
  }
}

void WebServer::OnSendDrained(int index, int64_t bytesRemaining) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  connection.unsentBytes = bytesRemaining;
  connection.idlePeriods = 0;  // the client reads
  try {
    switch (connection.phase) {
      case Phase::kAsking:
        if (connection.held && bytesRemaining <= kMaxQueuedBytes) {
          connection.held = false;
          connection.socket->ResumeReading();
          ReadRequests(index);
        } else if (connection.peerDone && bytesRemaining == 0) {
          CloseConnection(index);
        }
        break;
      case Phase::kFinishing:
        if (bytesRemaining > 0) break;
        if (connection.peerDone) {
          CloseConnection(index);
          break;
        }
        connection.phase = Phase::kLingering;
        connection.deadline->Start(kLingerMs);
        break;
      case Phase::kFree:
      case Phase::kStreaming:
      case Phase::kLingering:
        break;
    }
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

// The client ended its side: what it asked before is still answered.
void WebServer::OnPeerClosed(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  connection.peerDone = true;
  try {
    switch (connection.phase) {
      case Phase::kAsking:
        // Held: the rest is read and answered once the answers drain.
        if (!connection.held) ReadRequests(index);
        break;
      case Phase::kStreaming:  // the viewer has gone
      case Phase::kLingering:
        CloseConnection(index);
        break;
      case Phase::kFree:
      case Phase::kFinishing:  // closed once the last answer is sent
        break;
    }
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

// A head not complete in time, or the end of lingering.
void WebServer::OnDeadline(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  connection.deadline->Stop();
  if (connection.phase == Phase::kAsking || connection.phase == Phase::kLingering) {
    CloseConnection(index);
  }
}

void WebServer::RespondBad(Connection& connection) {
  const Payload response = MakePayload(HttpErrorResponse(400, false, true));
  Send(connection, std::span<const Payload>(&response, 1));
  Finish(connection);
}

// The last answer is queued: the send side shuts once it has left.
void WebServer::Finish(Connection& connection) {
  connection.phase = Phase::kFinishing;
  connection.socket->ShutdownSend();
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
      connection.phase = Phase::kStreaming;
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
  Send(connection, parts_);
  if (!keepAlive && connection.phase == Phase::kAsking) Finish(connection);
}

void WebServer::Send(Connection& connection, std::span<const Payload> parts) {
  connection.socket->Send(parts);
  for (const Payload& part : parts) connection.unsentBytes += static_cast<int64_t>(part.size());
}

void WebServer::CloseConnection(int index) {
  Connection& connection = connections_[static_cast<size_t>(index)];
  connection.phase = Phase::kFree;
  connection.held = false;
  connection.peerDone = false;
  connection.unsentBytes = 0;
  connection.parser.Reset();
  connection.deadline->Stop();
  try {
    connection.socket->Close();
  } catch (const std::exception&) {
    // Closed as far as it goes: the slot is reused either way.
  }
}

void WebServer::OnReceipt(const ReceiptRecord& receipt) {
  try {
    StreamReceipt(feed_.Add(receipt));
  } catch (const std::exception& e) {
    // The viewers miss this receipt; the clients and the outputs still get it.
    LogFailure("Web port error: ", e);
  }
}

void WebServer::StreamReceipt(const Payload& event) {
  for (size_t i = 0; i < connections_.size(); ++i) {
    Connection& connection = connections_[i];
    if (connection.phase != Phase::kStreaming) continue;
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
    switch (connection.phase) {
      case Phase::kAsking:
      case Phase::kFinishing:
        if (++connection.idlePeriods >= kIdlePeriods) CloseConnection(static_cast<int>(i));
        break;
      case Phase::kStreaming:
        if (connection.unsentBytes >= kMaxQueuedBytes) break;
        try {
          Send(connection, std::span<const Payload>(&KeepAliveComment(), 1));
        } catch (const std::exception&) {
          CloseConnection(static_cast<int>(i));
        }
        break;
      case Phase::kFree:
      case Phase::kLingering:
        break;
    }
  }
}

}  // namespace tavrik
