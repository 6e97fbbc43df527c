#include "rules/Needle.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace tavrik {
namespace {

// How often a byte comes in receipt text, roughly: blanks most, then the
// common letters (folded or not), digits and the rest of the letters.
int Commonness(char c) {
  if (c == ' ') return 4;
  if (std::string_view("eaoitnrslEAOITNRSL").find(c) != std::string_view::npos) return 3;
  if ((c >= '0' && c <= '9') || c == '.' || c == '\n') return 2;
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return 1;
  return 0;
}

}  // namespace

Needle::Needle(std::string text) : text_(std::move(text)) {
  for (size_t i = 1; i < text_.size(); ++i) {
    if (Commonness(text_[i]) < Commonness(text_[rareAt_])) rareAt_ = i;
  }
}

size_t Needle::FindIn(std::string_view text, size_t from) const {
  const size_t size = text_.size();
  if (size <= 1 || from > text.size() || text.size() - from < size) return text.find(text_, from);
  const char rare = text_[rareAt_];
  const char* const begin = text.data();
  const char* at = begin + from + rareAt_;
  const char* const end = begin + text.size() - (size - 1 - rareAt_);  // past the last place it can be
  while (at < end) {
    at = static_cast<const char*>(std::memchr(at, rare, static_cast<size_t>(end - at)));
    if (at == nullptr) return std::string_view::npos;
    const char* const start = at - rareAt_;
    if (std::memcmp(start, text_.data(), size) == 0) return static_cast<size_t>(start - begin);
    ++at;
  }
  return std::string_view::npos;
}

}  // namespace tavrik
