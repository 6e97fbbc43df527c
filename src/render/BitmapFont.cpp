#include <algorithm>

#include "render/BitmapFont.h"

namespace tavrik {

const uint16_t* BitmapFont::Find(char16_t c) const {
  const char16_t* end = codes + count;
  const char16_t* found = std::lower_bound(codes, end, c);
  if (found == end || *found != c) return nullptr;
  return rows + static_cast<size_t>(found - codes) * height;
}

}  // namespace tavrik
