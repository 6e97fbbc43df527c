#include "frames/CutSearch.h"

#include <algorithm>
#include <cstring>

namespace tavrik {

size_t CutSearch::Find(char lead, char follow, size_t from) const {
  const char* data = chunk_.data();
  const size_t size = chunk_.size();
  while (from + 1 < size) {
    const void* hit = std::memchr(data + from, lead, size - from - 1);
    if (!hit) break;
    const auto at = static_cast<size_t>(static_cast<const char*>(hit) - data);
    if (data[at + 1] == follow) return at;
    from = at + 1;
  }
  return std::string_view::npos;
}

size_t CutSearch::NextCutEnd(size_t from) {
  if (!escValid_ || (escAt_ != std::string_view::npos && escAt_ < from)) {
    escAt_ = Find(kEsc, 'i', from);
    escValid_ = true;
  }
  if (!gsValid_ || (gsAt_ != std::string_view::npos && gsAt_ < from)) {
    gsAt_ = Find(kGs, 'V', from);
    gsValid_ = true;
  }
  const size_t first = std::min(escAt_, gsAt_);
  return first == std::string_view::npos ? first : first + 2;
}

}  // namespace tavrik
