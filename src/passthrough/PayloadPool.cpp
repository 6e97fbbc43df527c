#include "passthrough/PayloadPool.h"

namespace tavrik {

Payload PayloadPool::Copy(std::string_view bytes) {
  std::shared_ptr<std::string> buffer;
  for (const std::shared_ptr<std::string>& kept : kept_) {
    if (kept.use_count() == 1) {  // only the pool holds it
      buffer = kept;
      break;
    }
  }
  if (!buffer) {
    buffer = std::make_shared<std::string>();
    if (kept_.size() < kMaxKept) kept_.push_back(buffer);
  }
  buffer->assign(bytes);  // keeps the capacity of earlier, larger chunks
  const std::string_view view(*buffer);
  return Payload(std::move(buffer), view);
}

}  // namespace tavrik
