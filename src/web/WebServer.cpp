#include "web/WebServer.h"

#include <charconv>
#include <exception>

#include "Version.h"
#include "log/LogFailure.h"
#include "web/HttpResponse.h"
#include "web/StatusReport.h"
#include "web/ViewerPage.h"

namespace tavrik {
namespace {

// "/receipts/SEQ.png": SEQ into sequence.
bool ParsePicturePath(std::string_view path, uint64_t& sequence) {
  constexpr std::string_view kPrefix = "/receipts/";
  constexpr std::string_view kSuffix = ".png";
  constexpr size_t kMaxDigits = 19;  // fits in 64 bits
  if (!path.starts_with(kPrefix) || !path.ends_with(kSuffix)) return false;
  const std::string_view digits = path.substr(kPrefix.size(), path.size() - kPrefix.size() - kSuffix.size());
  if (digits.empty() || digits.size() > kMaxDigits) return false;
  sequence = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    sequence = sequence * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

const Payload& KeepAliveComment() {
  static const Payload comment = MakePayload(": keep-alive\n\n");
  return comment;
}

}  // namespace

WebServer::WebServer(Platform& platform, const StatusSource& status)
    : platform_(platform),
      status_(status),
      listener_(platform, [this](int32_t requestId) { OnConnectionRequest(requestId); }),
      gate_(platform, [this](uint64_t ticket, const std::string& peer, bool accepted) {
        OnVerdict(ticket, peer, accepted);
      }),
      connections_(platform, *this, kMaxConnections),
      keepAlive_(platform.CreateTimer()),
      page_(MakePayload(std::string(ViewerPage()))) {
  keepAlive_->SetTickHandler([this] { OnKeepAliveTick(); });
}

WebServer::~WebServer() = default;

void WebServer::SetAccess(const WebAccessSettings& settings) {
  gate_.Configure(settings);
  if (settings.tlsCert.empty()) return;
  tls_ = platform_.CreateTlsServer(settings.tlsCert, settings.tlsKey);
  connections_.SetSocketFactory([this] { return tls_->CreateSocket(); });
}

void WebServer::Listen(const std::string& address, int port) {
  keepAlive_->Start(kKeepAliveMs);
  listener_.Listen(address, port);
}

void WebServer::Close() {
  keepAlive_->Stop();
  listener_.Close();
  for (int i = 0; i < connections_.Count(); ++i) CloseConnection(i);
}

int WebServer::ConnectionCount() const {
  int count = 0;
  for (int i = 0; i < connections_.Count(); ++i) count += connections_[i].phase != Phase::kFree ? 1 : 0;
  return count;
}

RelayStatus WebServer::Status() const {
  RelayStatus status = status_.CurrentStatus();
  status.webPort = listener_.IsListening() ? "listening" : "retrying";
  status.webConnections = ConnectionCount();
  status.receiptsSkipped = receiptsSkipped_;
  status.pictures = pictures_ != nullptr;
  return status;
}

void WebServer::OnConnectionRequest(int32_t requestId) {
  try {
    const int index = SlotForNewConnection();
    if (index < 0) return;  // all busy: the request is closed
    connections_.Accept(index, requestId);
    Connection& connection = connections_[index];
    connection.phase = Phase::kAsking;
    connection.idlePeriods = 0;
    connection.waitingSince = ++turn_;
  } catch (const std::exception& e) {
    LogFailure("Web ConnectionRequest error: ", e);
  }
}

// A free slot, or a new one while fewer than kMaxConnections exist; else the
// slot of a connection that only lingers or, failing that, of the one that
// has waited longest for its client's next request, closed here. Null when
// every connection is busy: -1.
int WebServer::SlotForNewConnection() {
  for (int i = 0; i < connections_.Count(); ++i) {
    if (connections_[i].phase == Phase::kFree) return i;
  }
  if (connections_.Count() < kMaxConnections) {
    const int index = connections_.Add();
    Connection& added = connections_[index];
    added.deadline = platform_.CreateTimer();
    added.deadline->SetTickHandler([this, index] { OnDeadline(index); });
    return index;
  }
  int chosen = -1;
  for (int i = 0; i < connections_.Count(); ++i) {
    const Connection& connection = connections_[i];
    if (connection.phase == Phase::kLingering) {
      chosen = i;
      break;
    }
    const bool waiting = connection.phase == Phase::kAsking && !connection.held &&
                         !connection.awaiting && !connection.peerDone &&
                         connections_.UnsentBytes(i) == 0;
    if (waiting && (chosen < 0 || connection.waitingSince < connections_[chosen].waitingSince)) chosen = i;
  }
  if (chosen >= 0) CloseConnection(chosen);
  return chosen;
}

void WebServer::OnSlotData(int index) {
  Connection& connection = connections_[index];
  try {
    if (connection.phase == Phase::kAsking) {
      // While held, what arrives waits in the socket, bounded by its paused reading.
      if (!connection.held && !connection.awaiting) ReadRequests(index);
      return;
    }
    if (connection.phase == Phase::kVerifying) return;  // read once the verdict is in
    // A stream's viewer has nothing more to say; after the last answer
    // nothing more is answered.
    connections_.SocketAt(index).Read(request_);
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

void WebServer::ReadRequests(int index) {
  Connection& connection = connections_[index];
  connections_.SocketAt(index).Read(request_);
  if (!request_.empty()) {
    connection.idlePeriods = 0;
    connection.parser.Append(request_);
  }
  AnswerRequests(index);
}

// Answers the requests read so far, in order, until too much waits unsent.
void WebServer::AnswerRequests(int index) {
  Connection& connection = connections_[index];
  HttpRequest request;
  while (connection.phase == Phase::kAsking && !connection.awaiting) {
    if (connections_.UnsentBytes(index) > kMaxQueuedBytes) {
      // The client reads its answers before it is heard again.
      if (!connection.held) connections_.SocketAt(index).PauseReading();
      connection.held = true;
      connection.deadline->Stop();
      return;
    }
    const HttpRequestParser::Result result = connection.parser.Next(request);
    if (result == HttpRequestParser::Result::kIncomplete) break;
    connection.deadline->Stop();
    if (result == HttpRequestParser::Result::kBad) {
      RespondBad(index);
      return;
    }
    connection.waitingSince = ++turn_;
    connection.idlePeriods = 0;
    Respond(index, request);
  }
  if (connection.phase != Phase::kAsking || connection.awaiting) return;
  if (connection.peerDone) {
    // Nothing more comes: a head begun stays incomplete.
    if (connections_.UnsentBytes(index) == 0) CloseConnection(index);
    return;
  }
  // Trickling does not move the deadline: it runs from the head's first byte.
  if (connection.parser.BufferedBytes() > 0 && !connection.deadline->IsRunning()) {
    connection.deadline->Start(kRequestHeadMs);
  }
}

void WebServer::OnSlotSendDrained(int index) {
  Connection& connection = connections_[index];
  const int64_t bytesRemaining = connections_.UnsentBytes(index);
  connection.idlePeriods = 0;  // the client reads
  try {
    switch (connection.phase) {
      case Phase::kAsking:
        if (connection.csv) {
          if (!connection.pulling && bytesRemaining <= kExportLowBytes) PullCsv(index);
        } else if (connection.held && bytesRemaining <= kMaxQueuedBytes) {
          connection.held = false;
          connections_.SocketAt(index).ResumeReading();
          ReadRequests(index);
        } else if (connection.peerDone && bytesRemaining == 0 && !connection.awaiting) {
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
      case Phase::kVerifying:
      case Phase::kLingering:
        break;
    }
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

// The client ended its side: what it asked before is still answered.
void WebServer::OnSlotClosed(int index) {
  Connection& connection = connections_[index];
  connection.peerDone = true;
  try {
    switch (connection.phase) {
      case Phase::kAsking:
        // Held or awaiting: the rest is read and answered once the answers drain or come.
        if (!connection.held && !connection.awaiting) ReadRequests(index);
        break;
      case Phase::kStreaming:  // the viewer has gone
      case Phase::kLingering:
        CloseConnection(index);
        break;
      case Phase::kFree:
      case Phase::kVerifying:  // answered once the verdict is in
      case Phase::kFinishing:  // closed once the last answer is sent
        break;
    }
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

// A head not complete in time, or the end of lingering.
void WebServer::OnDeadline(int index) {
  Connection& connection = connections_[index];
  connection.deadline->Stop();
  if (connection.phase == Phase::kAsking || connection.phase == Phase::kLingering) {
    CloseConnection(index);
  }
}

void WebServer::RespondBad(int index) {
  connections_.Send(index, MakePayload(HttpErrorResponse(400, false, true)));
  Finish(index);
}

// The last answer is queued: the send side shuts once it has left.
void WebServer::Finish(int index) {
  connections_[index].phase = Phase::kFinishing;
  connections_.SocketAt(index).ShutdownSend();
}

void WebServer::Respond(int index, const HttpRequest& request) {
  Connection& connection = connections_[index];
  const bool head = request.method == "HEAD";
  // A body is not read: the connection ends with this response.
  const bool keepAlive = request.keepAlive && !request.hasBody;
  if (!Admitted(index, request, keepAlive)) return;
  Resource resource = Resource::kNone;
  if (request.path == "/") resource = Resource::kViewer;
  if (request.path == "/receipts") resource = Resource::kReceipts;
  if (request.path == "/status") resource = Resource::kStatus;
  if (request.path == "/metrics") resource = Resource::kMetrics;
  uint64_t pictureSequence = 0;
  if (pictures_ != nullptr && ParsePicturePath(request.path, pictureSequence)) resource = Resource::kPicture;
  if (JournalApi::Serves(request.path)) {
    RespondFromJournal(index, request, keepAlive);
    return;
  }
  if (resource == Resource::kReceipts && request.method == "GET" &&
      RespondWithHistory(index, request)) {
    return;
  }

  parts_.clear();
  if (!head && request.method != "GET") {
    parts_.push_back(MakePayload(HttpErrorResponse(405, keepAlive, true)));
  } else if (resource == Resource::kNone) {
    parts_.push_back(MakePayload(HttpErrorResponse(404, keepAlive, !head)));
  } else if (resource == Resource::kPicture) {
    std::string png;
    if (pictures_->PictureOf(pictureSequence, png)) {
      parts_.push_back(MakePayload(HttpResponseHead(200, "image/png", png.size(), keepAlive)));
      if (!head) parts_.push_back(MakePayload(std::move(png)));
    } else if (journal_.GivesPictures()) {
      RespondWithStoredPicture(index, pictureSequence, head, keepAlive);
      return;
    } else {
      parts_.push_back(MakePayload(HttpErrorResponse(404, keepAlive, !head)));
    }
  } else if (resource == Resource::kReceipts) {
    parts_.push_back(MakePayload(HttpResponseHead(200, "text/event-stream; charset=utf-8",
                                                  std::nullopt, head && keepAlive)));
    if (!head) {
      parts_.push_back(MakePayload("retry: " + std::to_string(kReconnectMs) + "\n\n"));
      for (const Payload& event : feed_.EventsAfter(request.lastEventId)) parts_.push_back(event);
      if (request.lastEventId.empty()) parts_.insert(parts_.end(), alerts_.begin(), alerts_.end());
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
              "script-src 'unsafe-inline'; connect-src 'self'; img-src 'self' data:\r\n"
            : "";
    parts_.push_back(MakePayload(HttpResponseHead(200, type, body.size(), keepAlive, policy)));
    if (!head) parts_.push_back(body);
  }
  connections_.Send(index, parts_);
  if (!keepAlive && connection.phase == Phase::kAsking) Finish(index);
}

// Whether the request may be answered; if not, it is refused here or waits
// for its login's verdict in kVerifying.
bool WebServer::Admitted(int index, const HttpRequest& request, bool keepAlive) {
  // The slot and its connection's number: a verdict finds out whether the
  // connection it is for is still there.
  const uint64_t ticket = uint64_t{connections_.Connection(index)} << 32 | static_cast<uint32_t>(index);
  std::string refusal;
  switch (gate_.Admit(request, connections_.SocketAt(index).RemoteHost(), keepAlive, refusal, ticket)) {
    case WebGate::Outcome::kServe:
      return true;
    case WebGate::Outcome::kRefused:
      connections_.Send(index, MakePayload(refusal));
      if (!keepAlive) Finish(index);
      return false;
    case WebGate::Outcome::kPending:
      break;
  }
  Connection& connection = connections_[index];
  connection.phase = Phase::kVerifying;
  connection.verifying = request;
  connections_.SocketAt(index).PauseReading();
  return false;
}

// A login checked: counted even when its connection has gone meanwhile.
void WebServer::OnVerdict(uint64_t ticket, const std::string& peer, bool accepted) {
  const auto index = static_cast<int>(ticket & 0xFFFFFFFFU);
  const auto connection = static_cast<uint32_t>(ticket >> 32);
  try {
    Connection& waiting = connections_[index];
    if (connections_.Connection(index) != connection || waiting.phase != Phase::kVerifying) {
      if (!accepted) gate_.Rejected(peer, false, false);
      return;
    }
    const HttpRequest request = std::move(waiting.verifying);
    const bool keepAlive = request.keepAlive && !request.hasBody;
    waiting.phase = Phase::kAsking;
    connections_.SocketAt(index).ResumeReading();
    if (accepted) {
      Respond(index, request);  // the login is known now: answered at once
    } else {
      connections_.Send(index, MakePayload(gate_.Rejected(peer, keepAlive, request.method != "HEAD")));
      if (!keepAlive) Finish(index);
    }
    if (waiting.phase == Phase::kAsking) ReadRequests(index);
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

// The unsent bytes start afresh with the slot's next connection.
void WebServer::CloseConnection(int index) {
  Connection& connection = connections_[index];
  connection.phase = Phase::kFree;
  connection.held = false;
  connection.peerDone = false;
  connection.parser.Reset();
  connection.verifying = HttpRequest();
  connection.deadline->Stop();
  connection.awaiting = false;
  connection.pulling = false;
  connection.csv.reset();
  try {
    connections_.SocketAt(index).Close();
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

void WebServer::StreamAlert(std::string_view json) {
  try {
    std::string event = "event: alert\ndata: ";
    event.append(json).append("\n\n");
    alerts_.push_back(MakePayload(std::move(event)));
    if (alerts_.size() > kHeldAlerts) alerts_.pop_front();
    StreamReceipt(alerts_.back());
  } catch (const std::exception& e) {
    LogFailure("Web port error: ", e);
  }
}

void WebServer::StreamReceipt(const Payload& event) {
  for (int i = 0; i < connections_.Count(); ++i) {
    if (connections_[i].phase != Phase::kStreaming) continue;
    if (connections_.UnsentBytes(i) >= kMaxQueuedBytes) {
      ++receiptsSkipped_;
      continue;
    }
    try {
      connections_.Send(i, event);
    } catch (const std::exception&) {
      CloseConnection(i);
    }
  }
}

void WebServer::OnKeepAliveTick() {
  for (int i = 0; i < connections_.Count(); ++i) {
    Connection& connection = connections_[i];
    switch (connection.phase) {
      case Phase::kAsking:
      case Phase::kFinishing:
        if (++connection.idlePeriods >= kIdlePeriods) CloseConnection(i);
        break;
      case Phase::kStreaming:
        if (connections_.UnsentBytes(i) >= kMaxQueuedBytes) break;
        try {
          connections_.Send(i, KeepAliveComment());
        } catch (const std::exception&) {
          CloseConnection(i);
        }
        break;
      case Phase::kFree:
      case Phase::kVerifying:
      case Phase::kLingering:
        break;
    }
  }
}

void WebServer::Await(int index) {
  connections_[index].awaiting = true;
  connections_.SocketAt(index).PauseReading();
}

void WebServer::EndAwait(int index) {
  Connection& connection = connections_[index];
  connection.awaiting = false;
  if (connection.phase != Phase::kAsking) return;
  connections_.SocketAt(index).ResumeReading();
  ReadRequests(index);
}

bool WebServer::StillAwaited(int index, uint32_t accepted) const {
  const Connection& connection = connections_[index];
  return connections_.Connection(index) == accepted && connection.phase == Phase::kAsking &&
         connection.awaiting;
}

std::function<void(ApiAnswer)> WebServer::LateAnswer(int index, bool keepAlive) {
  const uint32_t accepted = connections_.Connection(index);
  return [this, index, accepted, keepAlive](ApiAnswer later) {
    if (!StillAwaited(index, accepted)) return;
    try {
      if (!SendJournalAnswer(index, std::move(later), keepAlive)) EndAwait(index);
    } catch (const std::exception&) {
      CloseConnection(index);
    }
  };
}

void WebServer::RespondFromJournal(int index, const HttpRequest& request, bool keepAlive) {
  std::optional<ApiAnswer> answer = journal_.Answer(request, keepAlive, LateAnswer(index, keepAlive));
  if (!answer) {
    Await(index);
    return;
  }
  SendJournalAnswer(index, std::move(*answer), keepAlive);
}

// A receipt older than the held ones: drawn from the journal, later.
void WebServer::RespondWithStoredPicture(int index, uint64_t sequence, bool head, bool keepAlive) {
  journal_.Picture(sequence, keepAlive, head, LateAnswer(index, keepAlive));
  Await(index);
}

bool WebServer::SendJournalAnswer(int index, ApiAnswer answer, bool keepAlive) {
  Connection& connection = connections_[index];
  connections_.Send(index, MakePayload(std::move(answer.bytes)));
  if (answer.csv) {
    connection.csv = std::move(answer.csv);
    connection.closeAfterExport = !answer.chunked;
    connection.chunkedExport = answer.chunked;
    if (!connection.awaiting) Await(index);
    PullCsv(index);
    return true;
  }
  if (!keepAlive) {
    connection.awaiting = false;
    Finish(index);
  }
  return false;
}

void WebServer::PullCsv(int index) {
  const uint32_t accepted = connections_.Connection(index);
  connections_[index].pulling = true;
  JournalApi::PullCsv(
      *connections_[index].csv, connections_[index].chunkedExport,
      [this, index, accepted](CsvChunk chunk) { OnCsvChunk(index, accepted, std::move(chunk)); });
}

void WebServer::OnCsvChunk(int index, uint32_t accepted, CsvChunk chunk) {
  if (!StillAwaited(index, accepted)) return;
  Connection& connection = connections_[index];
  try {
    connection.pulling = false;
    if (chunk.failed) {  // the body ends without its last chunk: the client sees it cut short
      CloseConnection(index);
      return;
    }
    if (!chunk.bytes.empty()) connections_.Send(index, MakePayload(std::move(chunk.bytes)));
    if (!chunk.last) {
      if (connections_.UnsentBytes(index) <= kExportLowBytes) PullCsv(index);
      return;
    }
    connection.csv.reset();
    if (connection.closeAfterExport) {
      connection.awaiting = false;
      Finish(index);
    } else {
      EndAwait(index);
    }
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

// A viewer back with an older Last-Event-ID than the receipts held gets the
// ones between from the journal first.
bool WebServer::RespondWithHistory(int index, const HttpRequest& request) {
  if (!journal_.HasArchive() || request.lastEventId.empty()) return false;
  uint64_t after = 0;
  const std::string_view id = request.lastEventId;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), after);
  if (error != std::errc() || end != id.data() + id.size()) return false;
  const uint64_t oldest = feed_.OldestHeldSeq();
  if (oldest != 0 && after + 1 >= oldest) return false;
  const uint32_t accepted = connections_.Connection(index);
  journal_.History(after, oldest == 0 ? UINT64_MAX : oldest, platform_.GetClock().UnixTimeMs(),
                   [this, index, accepted](std::vector<Payload> events, uint64_t lastSeq) {
                     OnHistory(index, accepted, std::move(events), lastSeq);
                   });
  Await(index);
  return true;
}

// The journal's receipts, then the held ones after them: none twice, and
// no gap unless more receipts came meanwhile than are held.
void WebServer::OnHistory(int index, uint32_t accepted, std::vector<Payload> events,
                          uint64_t lastSeq) {
  if (!StillAwaited(index, accepted)) return;
  Connection& connection = connections_[index];
  try {
    if (connection.peerDone) {  // the viewer has gone meanwhile
      CloseConnection(index);
      return;
    }
    connection.awaiting = false;
    connections_.SocketAt(index).ResumeReading();
    parts_.clear();
    parts_.push_back(MakePayload(
        HttpResponseHead(200, "text/event-stream; charset=utf-8", std::nullopt, false)));
    parts_.push_back(MakePayload("retry: " + std::to_string(kReconnectMs) + "\n\n"));
    for (Payload& event : events) parts_.push_back(std::move(event));
    for (const Payload& event : feed_.EventsAfter(std::to_string(lastSeq))) parts_.push_back(event);
    connection.phase = Phase::kStreaming;
    connections_.Send(index, parts_);
  } catch (const std::exception&) {
    CloseConnection(index);
  }
}

}  // namespace tavrik
