#pragma once
// Many regular expressions searched in one pass (RE2's set), which tells
// only which of them are found; their own RegexPattern then finds where.
// Made by CompileRegexSet, with RE2 only. Searching is const.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavrik {

class RegexSet {
 public:
  virtual ~RegexSet() = default;
  // The indices (in the order given) of the patterns found in text, into found.
  virtual void Match(std::string_view text, std::vector<int>& found) const = 0;
};

struct RegexSource {
  std::string pattern;
  bool caseSensitive = false;
};

// The patterns must compile one by one (see CompileRegex); null without RE2.
std::unique_ptr<RegexSet> CompileRegexSet(const std::vector<RegexSource>& patterns);

}  // namespace tavrik
