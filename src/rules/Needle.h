#pragma once
// A string searched for in receipt after receipt. The search runs memchr
// for the needle's rarest byte in shop text (chosen once), not its first:
// a needle that begins with a blank or a vowel would otherwise cost a
// compare at each of them.
#include <cstddef>
#include <string>
#include <string_view>

namespace tavrik {

class Needle {
 public:
  Needle() = default;
  explicit Needle(std::string text);

  bool Empty() const { return text_.empty(); }
  size_t Size() const { return text_.size(); }
  // Where the needle first starts at or after from, or npos: as
  // std::string_view::find.
  size_t FindIn(std::string_view text, size_t from = 0) const;

 private:
  std::string text_;
  size_t rareAt_ = 0;  // the offset in text_ of the byte memchr looks for
};

}  // namespace tavrik
