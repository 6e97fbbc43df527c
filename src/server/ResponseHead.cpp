#include "server/ResponseHead.h"

#include "frames/MultipartPart.h"

namespace tavrik {

const Payload& ResponseHead() {
  static const Payload head = MakePayload(
      "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=" +
      std::string(kMultipartBoundary) + "\r\n\r\n--" + std::string(kMultipartBoundary) + "\r\n");
  return head;
}

}  // namespace tavrik
