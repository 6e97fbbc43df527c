#include "frames/MultipartPart.h"

#include <cstring>

namespace tavrik {

namespace {

char* Put(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

}  // namespace

void WritePart(char* out, std::string_view contentTypeLine, std::string_view body) {
  char* at = Put(out, contentTypeLine);
  at = Put(at, "\r\n\r\n");
  at = Put(at, body);
  at = Put(at, "\r\n--");
  at = Put(at, kMultipartBoundary);
  Put(at, "\r\n");
}

Payload BuildPart(std::string_view contentTypeLine, std::string_view body) {
  std::string part(PartLength(contentTypeLine, body), '\0');
  WritePart(part.data(), contentTypeLine, body);
  return MakePayload(std::move(part));
}

}  // namespace tavrik
