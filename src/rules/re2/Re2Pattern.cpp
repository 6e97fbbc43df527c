#include <re2/re2.h>

#include "rules/RegexPattern.h"

namespace tavrik {
namespace {

class Re2Pattern final : public RegexPattern {
 public:
  explicit Re2Pattern(const std::string& pattern, const RE2::Options& options) : re_(pattern, options) {}

  bool Ok() const { return re_.ok(); }
  std::string Error() const { return re_.error(); }

  std::optional<size_t> Find(std::string_view text) const override {
    re2::StringPiece match;
    if (!re_.Match(re2::StringPiece(text.data(), text.size()), 0, text.size(), RE2::UNANCHORED, &match, 1)) return std::nullopt;
    return static_cast<size_t>(match.data() - text.data());
  }

 private:
  RE2 re_;
};

}  // namespace

bool RegexAvailable() { return true; }

std::unique_ptr<RegexPattern> CompileRegex(const std::string& pattern, bool caseSensitive, std::string& error) {
  RE2::Options options;
  options.set_case_sensitive(caseSensitive);
  options.set_log_errors(false);
  auto compiled = std::make_unique<Re2Pattern>(pattern, options);
  if (!compiled->Ok()) {
    error = compiled->Error();
    return nullptr;
  }
  return compiled;
}

}  // namespace tavrik
