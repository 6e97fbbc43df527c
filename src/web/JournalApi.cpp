#include "web/JournalApi.h"

#include <charconv>

#include "json/JsonString.h"
#include "web/HttpResponse.h"
#include "web/StoredReceiptFormat.h"

namespace tavrik {
namespace {

constexpr std::string_view kJsonType = "application/json";
constexpr std::string_view kAttachment =
    "Content-Disposition: attachment; filename=\"receipts.csv\"\r\n";

std::string Response(int status, std::string_view type, const std::string& body, bool keepAlive,
                     bool head, std::string_view extraFields = {}) {
  std::string response = HttpResponseHead(status, type, body.size(), keepAlive, extraFields);
  if (!head) response += body;
  return response;
}

ApiAnswer ErrorAnswer(int status, std::string_view message, bool keepAlive, bool head) {
  std::string body = "{\"error\":";
  AppendJsonString(body, message);
  body += "}\n";
  return {Response(status, kJsonType, body, keepAlive, head), nullptr};
}

// The receipt number of "/api/receipts/SEQ" or ".../SEQ.txt"; 0: none.
uint64_t ReceiptNumber(std::string_view path, bool& text) {
  constexpr std::string_view kPrefix = "/api/receipts/";
  if (!path.starts_with(kPrefix)) return 0;
  std::string_view digits = path.substr(kPrefix.size());
  text = digits.ends_with(".txt");
  if (text) digits.remove_suffix(4);
  uint64_t seq = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), seq);
  const bool whole = !digits.empty() && error == std::errc() &&
                     end == digits.data() + digits.size() && digits[0] != '+' &&
                     seq <= static_cast<uint64_t>(INT64_MAX);
  return whole ? seq : 0;
}

std::string Chunk(const std::string& data) {
  char size[24];
  const auto [end, error] = std::to_chars(size, size + sizeof size, data.size(), 16);
  std::string chunk(size, end);
  chunk.append("\r\n").append(data).append("\r\n");
  return chunk;
}

ApiAnswer SearchAnswer(const ArchivePage& page, bool keepAlive, bool head) {
  if (!page.error.empty()) return ErrorAnswer(503, page.error, keepAlive, head);
  std::string body = "{\"receipts\":[";
  for (size_t i = 0; i < page.receipts.size(); ++i) {
    if (i > 0) body += ',';
    AppendStoredReceiptJson(body, page.receipts[i]);
  }
  body.append("],\"next\":").append(page.next ? std::to_string(*page.next) : "null").append("}\n");
  return {Response(200, kJsonType, body, keepAlive, head), nullptr};
}

}  // namespace

std::optional<ApiAnswer> JournalApi::Answer(const HttpRequest& request, bool keepAlive,
                                            std::function<void(ApiAnswer)> done) {
  const bool head = request.method == "HEAD";
  if (!head && request.method != "GET")
    return ApiAnswer{HttpErrorResponse(405, keepAlive, true), nullptr};
  if (!archive_) {
    return ErrorAnswer(404, "no journal: the outputs file (-k) has no [journal] table", keepAlive,
                       head);
  }
  if (request.path == "/api/receipts" || request.path == "/api/receipts.csv") {
    ReceiptQueryParse parse = ParseReceiptQuery(request.query);
    if (!parse.error.empty()) return ErrorAnswer(400, parse.error, keepAlive, head);
    if (request.path == "/api/receipts") {
      archive_->Search(parse.query, [keepAlive, head, done = std::move(done)](ArchivePage page) {
        done(SearchAnswer(page, keepAlive, head));
      });
      return std::nullopt;
    }
    ApiAnswer answer;
    answer.chunked = keepAlive && !request.http10;
    answer.bytes = HttpResponseHead(
        200, "text/csv; charset=utf-8", std::nullopt, answer.chunked,
        (answer.chunked ? "Transfer-Encoding: chunked\r\n" : "") + std::string(kAttachment));
    if (!head) {
      answer.bytes += answer.chunked ? Chunk(kCsvHeader) : kCsvHeader;
      answer.csv = archive_->Export(parse.query);
    }
    return answer;
  }
  bool text = false;
  const uint64_t seq = ReceiptNumber(request.path, text);
  if (seq == 0) return ErrorAnswer(404, "no such path", keepAlive, head);
  archive_->Find(seq, [keepAlive, head, text, done = std::move(done)](ArchivePage page) {
    if (!page.error.empty()) return done(ErrorAnswer(503, page.error, keepAlive, head));
    if (page.receipts.empty())
      return done(ErrorAnswer(404, "no such receipt in the journal", keepAlive, head));
    const StoredReceipt& receipt = page.receipts.front();
    if (text)
      return done(
          {Response(200, "text/plain; charset=utf-8", receipt.text, keepAlive, head), nullptr});
    std::string body;
    AppendStoredReceiptJson(body, receipt);
    body += '\n';
    done({Response(200, kJsonType, body, keepAlive, head), nullptr});
  });
  return std::nullopt;
}

void JournalApi::Picture(uint64_t seq, bool keepAlive, bool head,
                         std::function<void(ApiAnswer)> done) {
  archive_->UseFrame(seq, pictureMaker_, [keepAlive, head, done = std::move(done)](ArchiveMade png) {
    if (!png.error.empty()) return done(ErrorAnswer(503, png.error, keepAlive, head));
    // Not found as the held receipts' pictures are.
    if (!png.made) return done({HttpErrorResponse(404, keepAlive, !head), nullptr});
    done({Response(200, "image/png", png.bytes, keepAlive, head), nullptr});
  });
}

void JournalApi::PullCsv(ArchiveCursor& cursor, bool chunked, std::function<void(CsvChunk)> done) {
  cursor.Pull([chunked, done = std::move(done)](ArchivePage page) {
    CsvChunk chunk;
    chunk.failed = !page.error.empty();
    chunk.last = page.receipts.empty();
    if (chunk.last) {
      if (chunked) chunk.bytes = "0\r\n\r\n";
    } else {
      std::string records;
      for (const StoredReceipt& receipt : page.receipts) AppendCsvRecord(records, receipt);
      chunk.bytes = chunked ? Chunk(records) : std::move(records);
    }
    done(std::move(chunk));
  });
}

void JournalApi::History(uint64_t after, uint64_t below, int64_t nowMs,
                         std::function<void(std::vector<Payload>, uint64_t)> done) {
  archive_->Between(after, below, nowMs - kHistoryMs, kHistoryReceipts,
                    [after, done = std::move(done)](ArchivePage page) {
                      std::vector<Payload> events;
                      events.reserve(page.receipts.size());
                      for (const StoredReceipt& receipt : page.receipts) {
                        events.push_back(MakePayload(StoredReceiptEvent(receipt)));
                      }
                      done(std::move(events),
                           page.receipts.empty() ? after : page.receipts.back().seq);
                    });
}

}  // namespace tavrik
