#pragma once
// The journal's paths on the web port:
//   GET /api/receipts?q=&from=&to=&limit=&before=
//       {"receipts":[{..}, ..],"next":SEQ|null}, newest first (see
//       search/ReceiptQuery.h); pass "next" as before for the next page
//   GET /api/receipts/SEQ       the one receipt's object; 404 if unknown
//   GET /api/receipts/SEQ.txt   its text
//   GET /api/receipts.csv?...   every receipt of the search as CSV, newest
//       first, in chunks of HTTP's chunked transfer coding: an export cut
//       short by an error ends without its last chunk. An HTTP/1.0 client
//       gets it unchunked, ended by the connection's close
// A malformed query is answered 400, a journal that cannot be read 503,
// anything unknown 404, each with {"error":"..."}; without a journal every
// path answers 404 naming [journal]. HEAD answers the same heads.
//
// Answers are made by the archive's worker and come later, unless they are
// known at once. Event thread only; never throws but for lack of memory.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Payload.h"
#include "search/ReceiptArchive.h"
#include "web/HttpRequestParser.h"

namespace tavrik {

struct ApiAnswer {
  std::string bytes;                   // the whole response, or a stream's head and first chunk
  std::unique_ptr<ArchiveCursor> csv;  // set: more chunks follow (PullCsv)
  bool chunked = false;  // the chunks are in chunked coding; else the connection's end ends them
};

// An export's next piece in its chunked coding; the last one ends the body.
struct CsvChunk {
  std::string bytes;
  bool last = false;
  bool failed = false;  // the journal failed meanwhile: the response stays unfinished
};

class JournalApi {
 public:
  // A viewer reconnecting gets at most this many receipts, of at most a day,
  // from the journal.
  static constexpr int kHistoryReceipts = 1000;
  static constexpr int64_t kHistoryMs = 24 * 3600 * 1000;

  static bool Serves(std::string_view path) { return path == "/api" || path.starts_with("/api/"); }

  void SetArchive(std::unique_ptr<ReceiptArchive> archive) { archive_ = std::move(archive); }
  bool HasArchive() const { return archive_ != nullptr; }

  // The answer, when known at once; else null, and done gets it later. An
  // export ends its connection unless it is chunked (keepAlive, HTTP/1.1).
  std::optional<ApiAnswer> Answer(const HttpRequest& request, bool keepAlive,
                                  std::function<void(ApiAnswer)> done);
  // How the pictures of stored receipts are drawn (see Picture); none: the
  // journal gives no pictures.
  void SetPictureMaker(FrameUse maker) { pictureMaker_ = std::move(maker); }
  bool GivesPictures() const { return archive_ && pictureMaker_; }
  // GET /receipts/SEQ.png from the frame stored with the receipt, drawn on
  // the archive's worker; 404 without one, 503 JSON when the journal fails.
  // Only where GivesPictures().
  void Picture(uint64_t seq, bool keepAlive, bool head, std::function<void(ApiAnswer)> done);
  static void PullCsv(ArchiveCursor& cursor, bool chunked, std::function<void(CsvChunk)> done);
  // The events of the receipts numbered above after and below below, of
  // the last kHistoryMs before nowMs, oldest first (the newest
  // kHistoryReceipts of them), and the number of the last (after when
  // none); none when the journal fails.
  void History(uint64_t after, uint64_t below, int64_t nowMs,
               std::function<void(std::vector<Payload>, uint64_t)> done);

 private:
  std::unique_ptr<ReceiptArchive> archive_;
  FrameUse pictureMaker_;
};

}  // namespace tavrik
