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
  std::string lastEventId;  // the Last-Event-ID field, empty when absent
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
  // stays bad until Reset.
  Result Next(HttpRequest& request);
  // Forgets every byte and the bad state (a fresh connection).
  void Reset();

 private:
  Result Parse(std::string_view head, HttpRequest& request) const;

  std::string buffer_;
  size_t scanned_ = 0;  // bytes of buffer_ known to hold no end of head
  bool bad_ = false;
};

}  // namespace tavrik
