// The web port's pure pieces on any bytes. The request parser gives the same
// requests however the stream is split, and never more head than its limit;
// the JSON string of any bytes is valid UTF-8 with no raw control character.
//
// Input layout: byte 0 = the split offset (scaled to the rest); the rest is
// the stream, also taken as the text of a JSON string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/HttpRequestParser.h"
#include "json/JsonString.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Each request as one line, "bad" at the end when the stream went bad.
std::string ParseAll(std::string_view first, std::string_view second) {
  tavrik::HttpRequestParser parser;
  std::string seen;
  for (const std::string_view piece : {first, second}) {
    parser.Append(piece);
    for (;;) {
      tavrik::HttpRequest request;
      const auto result = parser.Next(request);
      if (result == tavrik::HttpRequestParser::Result::kIncomplete) break;
      if (result == tavrik::HttpRequestParser::Result::kBad) return seen + "bad";
      Require(request.path.size() < tavrik::HttpRequestParser::kMaxHeadBytes);
      seen += request.method + ' ' + request.path + ' ' + request.lastEventId + ' ' +
              (request.keepAlive ? 'k' : 'c') + (request.hasBody ? 'b' : '-') + '\n';
    }
  }
  return seen;
}

void RequireValidJsonString(std::string_view json) {
  Require(json.size() >= 2 && json.front() == '"' && json.back() == '"');
  for (size_t i = 1; i + 1 < json.size();) {
    const auto lead = static_cast<uint8_t>(json[i]);
    Require(lead >= 0x20 && lead != 0x7F);
    if (lead == '\\') {
      Require(std::string_view("\"\\nrtu").find(json[i + 1]) != std::string_view::npos);
      i += json[i + 1] == 'u' ? 6 : 2;
      continue;
    }
    Require(lead != '"');
    const size_t length = lead < 0x80         ? 1
                          : (lead >> 5) == 6  ? 2
                          : (lead >> 4) == 14 ? 3
                          : (lead >> 3) == 30 ? 4
                                              : 0;
    Require(length > 0 && i + length < json.size());
    for (size_t k = 1; k < length; ++k) Require((static_cast<uint8_t>(json[i + k]) & 0xC0) == 0x80);
    i += length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = stream.size() * data[0] / 255;
  Require(ParseAll(stream, {}) == ParseAll(stream.substr(0, split), stream.substr(split)));
  std::string json;
  tavrik::AppendJsonString(json, stream);
  RequireValidJsonString(json);
  return 0;
}
