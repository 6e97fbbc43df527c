#include <re2/re2.h>
#include <re2/set.h>

#include "rules/RegexPattern.h"
#include "rules/RegexSet.h"

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

class Re2Set final : public RegexSet {
 public:
  explicit Re2Set(const RE2::Options& options) : set_(options, RE2::UNANCHORED) {}

  bool Add(const RegexSource& source) {
    // One set, one set of options: case is set per pattern by its flag.
    const std::string pattern = (source.caseSensitive ? "" : "(?i)") + source.pattern;
    return set_.Add(re2::StringPiece(pattern), nullptr) >= 0;
  }
  bool Compile() { return set_.Compile(); }

  void Match(std::string_view text, std::vector<int>& found) const override {
    found.clear();
    // Asked which, the set allocates its list of matches: ask only when some are.
    const re2::StringPiece piece(text.data(), text.size());
    if (set_.Match(piece, nullptr)) set_.Match(piece, &found);
  }

 private:
  RE2::Set set_;
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

std::unique_ptr<RegexSet> CompileRegexSet(const std::vector<RegexSource>& patterns) {
  RE2::Options options;
  options.set_log_errors(false);
  auto set = std::make_unique<Re2Set>(options);
  for (const RegexSource& source : patterns) {
    if (!set->Add(source)) return nullptr;
  }
  return set->Compile() ? std::move(set) : nullptr;
}

}  // namespace tavrik
