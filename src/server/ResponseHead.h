#pragma once
// The 102-byte head of every client's endless HTTP/1.0 multipart response.
#include "platform/Payload.h"

namespace tavrik {

const Payload& ResponseHead();

}  // namespace tavrik
