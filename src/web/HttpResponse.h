#pragma once
// Response heads of the web port: pure, never throws.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrik {

// "HTTP/1.1 <status> <reason>" and the fields every response carries, then
// Content-Type, Content-Length (when given: a stream has none and ends with
// the connection), Connection and extraFields (whole lines, each ending in
// CR LF), and the empty line.
std::string HttpResponseHead(int status, std::string_view contentType,
                             std::optional<size_t> contentLength, bool keepAlive,
                             std::string_view extraFields = {});

// A complete response with a short plain-text body naming the status.
std::string HttpErrorResponse(int status, bool keepAlive, bool withBody);

}  // namespace tavrik
