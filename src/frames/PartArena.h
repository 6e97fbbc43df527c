#pragma once
// Builds the clients' parts one behind the other in large shared blocks. The
// frames cut from one read then lie side by side, join into one run on every
// client's socket and leave in one piece; a block is rewritten from its start
// as soon as no part in it is queued anywhere, so a steady stream reuses the
// same, cache-warm memory and allocates nothing.
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/Payload.h"

namespace tavrik {

class PartArena {
 public:
  static constexpr std::size_t kBlockSize = 32 * 1024;
  // Idle blocks kept for reuse beyond the current one.
  static constexpr std::size_t kSpareBlocks = 1;

  // A part with a content-type line and body, laid out by the format of
  // BuildPart.
  Payload BuildPart(std::string_view contentTypeLine, std::string_view body);
  // Frees the blocks that no queued part uses any more.
  void ReleaseIdleBlocks();

 private:
  struct Block {
    explicit Block(std::size_t size) : bytes(new char[size]), capacity(size) {}
    std::unique_ptr<char[]> bytes;
    std::size_t capacity;
    std::size_t used = 0;
  };

  Block& Room(std::size_t length);
  std::shared_ptr<Block> TakeBlock(std::size_t length);

  std::shared_ptr<Block> current_;
  std::vector<std::shared_ptr<Block>> spare_;
};

}  // namespace tavrik
