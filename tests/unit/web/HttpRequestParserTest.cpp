#include "web/HttpRequestParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrik {
namespace {

using Result = HttpRequestParser::Result;

// What the parser makes of the stream, one line per request: the method,
// path, Last-Event-ID and flags, or "bad"; the bytes arrive in the pieces given.
std::vector<std::string> ParseAll(const std::vector<std::string>& pieces) {
  HttpRequestParser parser;
  std::vector<std::string> seen;
  for (const std::string& piece : pieces) {
    parser.Append(piece);
    for (;;) {
      HttpRequest request;
      const Result result = parser.Next(request);
      if (result == Result::kIncomplete) break;
      if (result == Result::kBad) return seen.push_back("bad"), seen;
      seen.push_back(request.method + " " + request.path + " [" + request.lastEventId + "]" +
                     (request.keepAlive ? " keep" : " close") + (request.hasBody ? " body" : ""));
    }
  }
  return seen;
}

std::vector<std::string> ParseWhole(const std::string& bytes) {
  return ParseAll({bytes});
}

TEST(HttpRequestParser, ResultDoesNotDependOnWhereTheStreamIsSplit) {
  const std::string streams[] = {
      "GET /receipts?x=1 HTTP/1.1\r\nHost: a\r\nLast-Event-ID:  42 \r\n\r\nHEAD / HTTP/1.0\r\n\r\n",
      "GET / HTTP/1.1\nHost: a\n\nGET /status HTTP/1.1\r\nConnection: close\r\n\r\n",
      "\r\nPOST / HTTP/1.1\r\nContent-Length: 3\r\n\r\n",
      "GET / HTTP/1.1\r\nBad Header\r\n\r\n",
  };
  for (const std::string& stream : streams) {
    const std::vector<std::string> whole = ParseWhole(stream);
    for (size_t a = 0; a <= stream.size(); ++a) {
      for (size_t b = a; b <= stream.size(); b += 7) {
        EXPECT_EQ(ParseAll({stream.substr(0, a), stream.substr(a, b - a), stream.substr(b)}), whole)
            << "split at " << a << " and " << b << " of " << stream;
      }
    }
  }
  EXPECT_EQ(ParseWhole(streams[0]),
            (std::vector<std::string>{"GET /receipts [42] keep", "HEAD / [] close"}));
  EXPECT_EQ(ParseWhole(streams[1]),
            (std::vector<std::string>{"GET / [] keep", "GET /status [] close"}));
  EXPECT_EQ(ParseWhole(streams[2]), (std::vector<std::string>{"POST / [] keep body"}));
  EXPECT_EQ(ParseWhole(streams[3]), (std::vector<std::string>{"bad"}));
}

TEST(HttpRequestParser, KeepAliveFollowsTheVersionAndTheConnectionField) {
  EXPECT_EQ(ParseWhole("GET / HTTP/1.1\r\nconnection: Close\r\n\r\n")[0], "GET / [] close");
  EXPECT_EQ(ParseWhole("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n")[0], "GET / [] keep");
  EXPECT_EQ(ParseWhole("GET / HTTP/1.0\r\n\r\n")[0], "GET / [] close");
  EXPECT_EQ(ParseWhole("GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")[0],
            "GET / [] keep body");
  EXPECT_EQ(ParseWhole("GET / HTTP/1.1\r\nContent-Length: 000\r\n\r\n")[0], "GET / [] keep");
}

TEST(HttpRequestParser, MalformedRequestsAreBad) {
  for (const std::string& request : std::vector<std::string>{
           "GET\r\n\r\n", "GET /\r\n\r\n", "GET / HTTP/2.0\r\n\r\n", "GET  / HTTP/1.1\r\n\r\n",
           "GET http://x/ HTTP/1.1\r\n\r\n", "G(T / HTTP/1.1\r\n\r\n",
           "GET /a\x01 HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\nHost: a\r\n folded\r\n\r\n",
           "GET / HTTP/1.1\r\n: empty name\r\n\r\n", "GET / HTTP/1.1\r\nX: a\x7f\r\n\r\n",
           "GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
           std::string("GET / HTTP/1.1\r\nX: a\0b\r\n\r\n", 26)}) {
    EXPECT_EQ(ParseWhole(request), std::vector<std::string>{"bad"}) << request;
  }
}

TEST(HttpRequestParser, HeadLimitIsEightKibibytes) {
  const std::string start = "GET / HTTP/1.1\r\nX: ";
  const std::string end = "\r\n\r\n";
  const std::string fits =
      start + std::string(HttpRequestParser::kMaxHeadBytes - start.size() - end.size(), 'a') + end;
  EXPECT_EQ(ParseWhole(fits), std::vector<std::string>{"GET / [] keep"});
  EXPECT_EQ(ParseWhole(start + std::string(fits.size() - start.size() - end.size() + 1, 'a') + end),
            std::vector<std::string>{"bad"});
  // Without an end of head in sight, the limit is found as soon as it is passed.
  HttpRequestParser parser;
  HttpRequest request;
  parser.Append(std::string(HttpRequestParser::kMaxHeadBytes, 'a'));
  EXPECT_EQ(parser.Next(request), Result::kIncomplete);
  parser.Append("a");
  EXPECT_EQ(parser.Next(request), Result::kBad);
  parser.Append("GET / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(parser.Next(request), Result::kBad);  // bad stays bad
  parser.Reset();
  parser.Append("GET / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(parser.Next(request), Result::kComplete);
}

}  // namespace
}  // namespace tavrik
