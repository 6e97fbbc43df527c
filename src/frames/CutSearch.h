#pragma once
// Finds the ESC/POS paper-cut commands ESC "i" and GS "V" in a chunk.
#include <cstddef>
#include <string_view>

namespace tavrik {

inline constexpr char kEsc = 27;
inline constexpr char kGs = 29;

// Scans one chunk for the earliest cut command at or after a position. The
// positions found are remembered, so searching a chunk's successive
// remainders costs one pass over the chunk however many cuts it holds.
class CutSearch {
 public:
  explicit CutSearch(std::string_view chunk) : chunk_(chunk) {}
  // Offset just behind the first cut command that starts at or after from,
  // or npos.
  size_t NextCutEnd(size_t from);

 private:
  size_t Find(char lead, char follow, size_t from) const;

  std::string_view chunk_;
  size_t escAt_ = 0;
  bool escValid_ = false;
  size_t gsAt_ = 0;
  bool gsValid_ = false;
};

}  // namespace tavrik
