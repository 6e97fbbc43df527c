#pragma once
// Cuts HTTP/1.x requests out of a connection's byte stream: pure, no I/O,
// never throws. The head of a request (request line and header fields) may
// take at most kMaxHeadBytes; a request that carries a body is answered and
// the connection closed, since nothing served here takes one.
#include <cstddef>
#include <string>
#include <string_view>

namespace tavrik {

struct HttpRequest {
  std::string method;       // as sent, case-sensitive
  std::string path;         // the target without its query
  std::string query;        // the target's query, behind its '?', still percent-encoded
  std::string lastEventId;  // the Last-Event-ID field, empty when absent
  bool http10 = false;      // an HTTP/1.0 request: its client may not know chunked coding
  bool keepAlive = true;    // HTTP/1.1 unless "Connection: close"; HTTP/1.0 only with keep-alive
  bool hasBody = false;     // Content-Length above 0 or any Transfer-Encoding
};

class HttpRequestParser {
 public:
  static constexpr size_t kMaxHeadBytes = 8192;

  enum class Result {
    kIncomplete,  // more bytes are needed
    kComplete,    // request holds the next request; its bytes are consumed
    kBad,         // malformed or too large: answer 400 and close
  };

  // Adds bytes that arrived (ignored once bad). The caller bounds what it
  // appends before taking the requests out.
  void Append(std::string_view bytes);
  // The next request from the bytes appended so far. After kBad the parser
  // stays bad until Reset. Taking many pipelined requests out of one append
  // costs time in proportion to their bytes, not to their number squared.
  Result Next(HttpRequest& request);
  // Bytes appended and not yet taken out as a request: the start of a head.
  size_t BufferedBytes() const { return buffer_.size() - consumed_; }
  // Forgets every byte and the bad state (a fresh connection), and gives the
  // buffer's memory back.
  void Reset();

 private:
  Result Parse(std::string_view head, HttpRequest& request) const;

  std::string buffer_;
  size_t consumed_ = 0;  // bytes of buffer_ taken out as requests
  size_t scanned_ = 0;   // bytes after consumed_ known to hold no end of head
  bool bad_ = false;
};

}  // namespace tavrik
