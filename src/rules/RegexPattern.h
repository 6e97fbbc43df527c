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

namespace tavrik {

class RegexPattern {
 public:
  virtual ~RegexPattern() = default;
  // The offset of the first match in text, if any.
  virtual std::optional<size_t> Find(std::string_view text) const = 0;
};

bool RegexAvailable();
// Null with a description in error when the pattern does not compile (or
// the build has no regular expressions).
std::unique_ptr<RegexPattern> CompileRegex(const std::string& pattern, bool caseSensitive, std::string& error);

}  // namespace tavrik
