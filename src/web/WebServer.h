#pragma once
// The web port (-w): a small HTTP/1.1 server for people and monitoring.
//   GET /          the viewer page
//   GET /receipts  the receipts as Server-Sent Events, live and replayed
//   GET /receipts/SEQ.png  a held receipt's picture, with a PictureSource;
//                  an older one's from the journal, with a picture maker
//   GET /status    the relay's status as JSON
//   GET /metrics   the same counters for Prometheus
//   GET /api/...   the journal's receipts (see JournalApi.h)
// HEAD works on each; other methods get 405, other paths 404, a malformed or
// oversized request 400 and the connection closed. Pipelined requests are
// answered in order, the next ones left unread while kMaxQueuedBytes of
// answers wait unsent. A client that ends its side of the connection still
// gets every answer to what it sent. At most kMaxConnections at a time; when
// all are taken, a new one takes the slot of the connection that has waited
// longest for a request of its client, or is refused when none waits. A
// viewer that does not read gets no more receipts once kMaxQueuedBytes wait
// unsent: whole receipts are skipped, never part of one. Before a request is
// answered, the gate (see WebGate) may refuse it or have it wait for its
// login's check, the requests behind it left unread meanwhile. A viewer that
// reconnects with a Last-Event-ID older than the receipts held gets the
// ones between from the journal, when there is one.
//
// Owns the listener and the connections; owned by the relay, whose receipt
// pipeline hands it every receipt. Everything runs on the event thread and never waits.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "connections/ConnectionSlots.h"
#include "pipeline/ReceiptListener.h"
#include "platform/Platform.h"
#include "web/HttpRequestParser.h"
#include "web/JournalApi.h"
#include "web/PictureSource.h"
#include "web/ReceiptFeed.h"
#include "web/RelayStatus.h"
#include "web/WebGate.h"
#include "web/WebListener.h"
#include "webaccess/WebAccessSettings.h"

namespace tavrik {

class WebServer final : public ReceiptListener {
 public:
  static constexpr int kMaxConnections = 16;
  static constexpr int kKeepAliveMs = 3000;
  // A connection that neither streams nor asks nor reads its answers for
  // this many keep-alive periods (30 s) is closed, so that idle ones cannot
  // hold every slot.
  static constexpr int kIdlePeriods = 10;
  // A request's head must be complete this long after its first byte: a
  // client that trickles it cannot keep its slot by sending now and then.
  static constexpr int kRequestHeadMs = 10000;
  // After the last answer the connection reads and drops what the client
  // still sends, until the client ends its side or this long has passed:
  // closed with its bytes unread, the connection would be reset, and the
  // reset can destroy the answer before the client has read it.
  static constexpr int kLingerMs = 5000;
  static constexpr int64_t kMaxQueuedBytes = 262144;
  // A browser that lost the stream tries again after this long.
  static constexpr int kReconnectMs = 1000;
  // An export's next chunk is read once no more than this waits unsent.
  static constexpr int64_t kExportLowBytes = 65536;

  WebServer(Platform& platform, const StatusSource& status);
  ~WebServer() override;
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Logins, the loopback rule and TLS (see WebGate); before Listen. Throws
  // PlatformError when the TLS files cannot be used.
  void SetAccess(const WebAccessSettings& settings);
  // Listens on port of address (empty: every address), now or, while the
  // port cannot be had, once it can (see WebListener).
  void Listen(const std::string& address, int port);
  // Closes the listener and every connection.
  void Close();
  // Where GET /receipts/SEQ.png gets its pictures; without one (null, the
  // start) that path is not found like any other.
  void SetPictureSource(PictureSource* pictures) { pictures_ = pictures; }
  // How the pictures of the journal's older receipts are drawn, on its
  // reader's worker (see JournalApi::Picture); with a PictureSource only.
  void SetStoredPictureMaker(FrameUse maker) { journal_.SetPictureMaker(std::move(maker)); }
  // A receipt: held and streamed.
  void OnReceipt(const ReceiptRecord& receipt) override;
  // A rule's event document: streamed as "event: alert" and held, the last
  // kHeldAlerts for each new viewer (one that reconnects gets only what it
  // has not seen of the receipts).
  void StreamAlert(std::string_view json);
  static constexpr size_t kHeldAlerts = 20;
  // The journal's reader, which the /api/ paths and reconnecting viewers read.
  void UseJournal(std::unique_ptr<ReceiptArchive> archive) {
    journal_.SetArchive(std::move(archive));
  }

  // The relay's status with the web port's own fields filled in.
  RelayStatus Status() const;
  int ConnectionCount() const;
  int64_t ReceiptsSkipped() const { return receiptsSkipped_; }

 private:
  enum class Phase {
    kFree,       // no connection in the slot
    kAsking,     // reads the client's requests and answers each in turn
    kStreaming,  // answered GET /receipts: events follow
    kVerifying,  // a request waits for its login's verdict; the next ones wait unread
    kFinishing,  // the last answer is queued; the send side shuts once it is sent
    kLingering,  // the last answer is sent: waits for the client's end (kLingerMs)
  };
  struct Connection {
    std::unique_ptr<Timer> deadline;  // of the head in kAsking, of kLingering
    HttpRequestParser parser;
    Phase phase = Phase::kFree;
    bool held = false;      // kAsking: requests left unread until the answers drain
    bool peerDone = false;  // the client ended its side: closed once all is sent
    int idlePeriods = 0;        // keep-alive periods without a request or progress
    uint64_t waitingSince = 0;  // turn of its acceptance or its last request
    HttpRequest verifying;      // kVerifying: the request whose login is checked
    // kAsking: an answer from the journal is on its way or an export is
    // being sent; the requests after it wait unread.
    bool awaiting = false;
    bool closeAfterExport = false;
    bool chunkedExport = false;
    bool pulling = false;                // the export's next chunk is being read
    std::unique_ptr<ArchiveCursor> csv;  // the export being sent
  };
  enum class Resource { kViewer, kReceipts, kPicture, kStatus, kMetrics, kNone };
  friend class ConnectionSlots<WebServer, Connection>;

  void OnConnectionRequest(int32_t requestId);
  int SlotForNewConnection();
  void OnSlotData(int index);
  void ReadRequests(int index);
  void AnswerRequests(int index);
  void OnSlotSendDrained(int index);
  void OnSlotClosed(int index);
  void OnSlotError(int index, int /*number*/, const std::string& /*description*/) { CloseConnection(index); }
  void OnDeadline(int index);
  void CloseConnection(int index);
  void Respond(int index, const HttpRequest& request);
  bool Admitted(int index, const HttpRequest& request, bool keepAlive);
  void OnVerdict(uint64_t ticket, const std::string& peer, bool accepted);
  void RespondBad(int index);
  void Finish(int index);
  void StreamReceipt(const Payload& event);
  void RespondFromJournal(int index, const HttpRequest& request, bool keepAlive);
  void RespondWithStoredPicture(int index, uint64_t sequence, bool head, bool keepAlive);
  // Where a journal's answer goes when it comes: to the connection that
  // asked, if it is still there and waiting.
  std::function<void(ApiAnswer)> LateAnswer(int index, bool keepAlive);
  bool RespondWithHistory(int index, const HttpRequest& request);
  void OnHistory(int index, uint32_t accepted, std::vector<Payload> events, uint64_t lastSeq);
  void Await(int index);
  // Whether an answer from the journal is still awaited by the connection
  // that asked, which may have gone and left its slot to another.
  bool StillAwaited(int index, uint32_t accepted) const;
  // False once the answer is sent; true while an export goes on.
  bool SendJournalAnswer(int index, ApiAnswer answer, bool keepAlive);
  void PullCsv(int index);
  void OnCsvChunk(int index, uint32_t accepted, CsvChunk chunk);
  void EndAwait(int index);
  void OnKeepAliveTick();

  Platform& platform_;
  const StatusSource& status_;
  JournalApi journal_;  // declared before the connections, so that it goes after them
  WebListener listener_;
  WebGate gate_;
  std::unique_ptr<TlsServer> tls_;  // only with TLS; outlives the connections' sockets
  ConnectionSlots<WebServer, Connection> connections_;
  std::unique_ptr<Timer> keepAlive_;
  uint64_t turn_ = 0;  // counts acceptances and requests, to order the waiting
  ReceiptFeed feed_;
  std::deque<Payload> alerts_;  // the newest last
  Payload page_;
  std::string request_;         // scratch for what a connection sends
  std::vector<Payload> parts_;  // scratch for a response's parts
  int64_t receiptsSkipped_ = 0;
  PictureSource* pictures_ = nullptr;
};

}  // namespace tavrik
