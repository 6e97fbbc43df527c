#pragma once
// What the harnesses share: a property that fails aborts (libFuzzer reports it
// as a crash), and an input read as a split pattern followed by a stream, so
// that each harness can check that its result does not depend on the split.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace tavrik::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// The first byte gives the pattern's length; the pattern's bytes are the
// lengths of successive chunks, repeated; the rest is the stream.
struct SplitInput {
  std::string_view pattern;
  std::string_view stream;
};

inline SplitInput ReadSplitInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.empty()) return {};
  const size_t patternLength = std::min<size_t>(static_cast<uint8_t>(input[0]), size - 1);
  return {input.substr(1, patternLength), input.substr(1 + patternLength)};
}

inline std::vector<std::string_view> Chunks(std::string_view stream, std::string_view pattern) {
  std::vector<std::string_view> chunks;
  if (pattern.empty()) {
    chunks.push_back(stream);
    return chunks;
  }
  size_t at = 0;
  size_t emptyInARow = 0;
  for (size_t k = 0; at < stream.size(); k = (k + 1) % pattern.size()) {
    const size_t length = static_cast<uint8_t>(pattern[k]);
    emptyInARow = length == 0 ? emptyInARow + 1 : 0;
    if (emptyInARow > pattern.size()) {  // a pattern of nothing but empty chunks
      chunks.push_back(stream.substr(at));
      break;
    }
    chunks.push_back(stream.substr(at, length));
    at += chunks.back().size();
  }
  return chunks;
}

}  // namespace tavrik::fuzz
