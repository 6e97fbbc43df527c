#include "frames/MultipartPart.h"

namespace tavrik {

Payload BuildPart(std::string_view contentTypeLine, std::string_view body) {
  std::string part;
  part.reserve(PartLength(contentTypeLine, body));
  part.append(contentTypeLine).append("\r\n\r\n").append(body).append("\r\n--");
  part.append(kMultipartBoundary).append("\r\n");
  return MakePayload(std::move(part));
}

}  // namespace tavrik
