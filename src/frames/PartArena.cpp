#include "frames/PartArena.h"

#include <algorithm>

#include "frames/MultipartPart.h"

namespace tavrik {

Payload PartArena::BuildPart(std::string_view contentTypeLine, std::string_view body) {
  const std::size_t length = PartLength(contentTypeLine, body);
  Block& block = Room(length);
  char* const start = block.bytes.get() + block.used;
  WritePart(start, contentTypeLine, body);
  block.used += length;
  return Payload(current_, std::string_view(start, length));
}

void PartArena::ReleaseIdleBlocks() {
  spare_.erase(std::remove_if(spare_.begin(), spare_.end(),
                              [](const std::shared_ptr<Block>& block) { return block.use_count() == 1; }),
               spare_.end());
  if (current_ && current_.use_count() == 1) current_.reset();
}

PartArena::Block& PartArena::Room(std::size_t length) {
  // Only the arena holds it: no part in it is queued any more.
  if (current_ && current_.use_count() == 1) current_->used = 0;
  if (current_ && current_->capacity - current_->used >= length) return *current_;
  std::shared_ptr<Block> next = TakeBlock(length);
  if (current_ && current_->capacity == kBlockSize && spare_.size() < kSpareBlocks)
    spare_.push_back(std::move(current_));
  current_ = std::move(next);
  return *current_;
}

std::shared_ptr<PartArena::Block> PartArena::TakeBlock(std::size_t length) {
  if (length <= kBlockSize) {
    const auto idle =
        std::find_if(spare_.begin(), spare_.end(),
                     [](const std::shared_ptr<Block>& block) { return block.use_count() == 1; });
    if (idle != spare_.end()) {
      std::shared_ptr<Block> block = std::move(*idle);
      spare_.erase(idle);
      block->used = 0;
      return block;
    }
  }
  // A part larger than a block gets a block of its own, freed with the part.
  return std::make_shared<Block>(std::max(length, kBlockSize));
}

}  // namespace tavrik
