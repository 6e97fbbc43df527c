#include "rules/Wildcard.h"

#include <cstddef>

namespace tavrik {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t NextCharacter(std::string_view text, size_t at) {
  ++at;
  while (at < text.size() && IsContinuation(text[at])) ++at;
  return at;
}

}  // namespace

// "Somewhere in" is a whole match of "*pattern*": the greedy walk that,
// on a mismatch, lets the last star take one more byte. Each star restarts
// the walk no further back than its own place, so the work stays linear in
// the line for each pattern position.
bool WildcardFound(std::string_view pattern, std::string_view line) {
  size_t p = 0;
  size_t t = 0;
  size_t starP = 0;  // the pattern just after the last star; the leading one is implied
  size_t starT = 0;  // where that star's run ends for now
  while (t < line.size()) {
    if (p == pattern.size()) return true;  // the implied trailing star takes the rest
    if (pattern[p] == '*') {
      starP = ++p;
      starT = t;
    } else if (pattern[p] == '?') {
      ++p;
      t = NextCharacter(line, t);
    } else if (pattern[p] == line[t]) {
      ++p;
      ++t;
    } else {
      p = starP;
      t = ++starT;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace tavrik
