#pragma once
// Search text as people type it, turned into an FTS5 MATCH expression:
//   refund cash     both words occur (in any order)
//   "card sale"     the words in this order
//   refu*           a word beginning so
//   refund OR void  either word (OR in capitals joins the terms beside it)
//   -void           the word does not occur; at least one term must be kept
// Every term is written as an FTS5 string, so that nothing the user types is
// FTS5 syntax; the expression is always bound as a parameter, never spliced
// into SQL. Pure, never throws.
#include <cstddef>
#include <string>
#include <string_view>

namespace tavrik {

struct MatchTranslation {
  std::string expression;  // empty with no error: no condition on the text
  std::string error;       // empty unless the text cannot be searched for
};

inline constexpr size_t kMaxSearchBytes = 512;
inline constexpr size_t kMaxSearchTerms = 16;

MatchTranslation TranslateSearchText(std::string_view text);

}  // namespace tavrik
