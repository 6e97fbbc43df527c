#pragma once
// The parts of the clients' multipart stream. Every part is: content-type
// line, CR LF, CR LF, body, CR LF, "--" boundary, CR LF.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Payload.h"

namespace tavrik {

inline constexpr std::string_view kMultipartBoundary = "ABCDEF12345678";
inline constexpr std::string_view kPlainTextType = "Content-Type: text/plaintext";
inline constexpr std::string_view kEventType = "Content-Type: text/x-vexa-event";
inline constexpr std::string_view kKeepAliveType = "Content-Type: text/keepalive";

// The length of the part that wraps body.
constexpr std::size_t PartLength(std::string_view contentTypeLine, std::string_view body) {
  return contentTypeLine.size() + 4 + body.size() + 4 + kMultipartBoundary.size() + 2;
}

// Writes the part that wraps body to out, PartLength bytes.
void WritePart(char* out, std::string_view contentTypeLine, std::string_view body);

Payload BuildPart(std::string_view contentTypeLine, std::string_view body);

}  // namespace tavrik
