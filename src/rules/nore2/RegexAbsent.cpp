// A build without RE2: the outputs file reader refuses a rule's regex, so
// nothing asks for one.
#include "rules/RegexPattern.h"
#include "rules/RegexSet.h"

namespace tavrik {

bool RegexAvailable() { return false; }

std::unique_ptr<RegexPattern> CompileRegex(const std::string& /*pattern*/, bool /*caseSensitive*/, std::string& error) {
  error = "this build has no regular expression support (RE2)";
  return nullptr;
}

std::unique_ptr<RegexSet> CompileRegexSet(const std::vector<RegexSource>& /*patterns*/) { return nullptr; }

}  // namespace tavrik
