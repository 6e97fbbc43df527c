#pragma once
// A regular expression compiled once at start-up and searched in linear
// time (RE2: no backtracking, so hostile text cannot stall the relay).
// Made by CompileRegex, which a build without RE2 does not provide
// (RegexAvailable() false). Searching is const and allocates nothing.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrik {

class RegexPattern {
 public:
  virtual ~RegexPattern() = default;
  // The offset of the first match in text, if any.
  virtual std::optional<size_t> Find(std::string_view text) const = 0;
};

// Many patterns searched in one pass, which tells only which of them are
// found; their own RegexPattern then finds where.
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

bool RegexAvailable();
// Null with a description in error when the pattern does not compile (or
// the build has no regular expressions).
std::unique_ptr<RegexPattern> CompileRegex(const std::string& pattern, bool caseSensitive, std::string& error);
// The patterns must compile one by one (CompileRegex); null without RE2.
std::unique_ptr<RegexSet> CompileRegexSet(const std::vector<RegexSource>& patterns);

}  // namespace tavrik
