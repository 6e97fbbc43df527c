#pragma once
// An immutable run of bytes that may be queued on many sockets at once. It
// keeps alive the block it lies in, so copies share the bytes, and two runs
// that lie one right behind the other in the same block join into one run
// without copying: a socket then hands them to the kernel as one piece.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tavrik {

class Payload {
 public:
  Payload() = default;
  Payload(std::shared_ptr<const void> block, std::string_view bytes)
      : block_(std::move(block)), bytes_(bytes) {}

  explicit operator bool() const { return block_ != nullptr; }
  std::string_view View() const { return bytes_; }
  const char* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }

  // Drops the first n bytes, which were sent.
  void RemovePrefix(std::size_t n) { bytes_.remove_prefix(n); }

  // Extends this run by next when next starts where this one ends in the
  // same block; false (and nothing changed) otherwise.
  bool TryJoin(const Payload& next) {
    if (!block_ || block_ != next.block_ || bytes_.data() + bytes_.size() != next.bytes_.data())
      return false;
    bytes_ = std::string_view(bytes_.data(), bytes_.size() + next.bytes_.size());
    return true;
  }

 private:
  std::shared_ptr<const void> block_;
  std::string_view bytes_;
};

inline Payload MakePayload(std::string bytes) {
  auto block = std::make_shared<const std::string>(std::move(bytes));
  const std::string_view view(*block);
  return Payload(std::move(block), view);
}

}  // namespace tavrik
