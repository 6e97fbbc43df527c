#include "rules/Rule.h"

#include <algorithm>

#include "rules/Amount.h"
#include "rules/Wildcard.h"

namespace tavrik {
namespace {

// Letters, digits and any byte of a UTF-8 sequence belong to a word.
bool IsWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         byte == '_' || byte >= 0x80;
}

bool WordStartsAt(std::string_view text, size_t at) { return at == 0 || !IsWordByte(text[at - 1]); }
bool WordEndsAt(std::string_view text, size_t at) { return at == text.size() || !IsWordByte(text[at]); }

std::optional<size_t> Found(size_t at) {
  return at == std::string_view::npos ? std::nullopt : std::optional<size_t>(at);
}

std::string Folded(std::string_view text) {
  std::string out;
  FoldCase(text, out);
  return out;
}

std::string_view LineAt(std::string_view text, size_t at) {
  const size_t newline = at == 0 ? std::string_view::npos : text.rfind('\n', at - 1);
  const size_t first = newline == std::string_view::npos ? 0 : newline + 1;
  const size_t end = text.find('\n', at);
  return text.substr(first, (end == std::string_view::npos ? text.size() : end) - first);
}

// Calls visit(offset, line) for each line of text, until it returns true.
template <typename Visit>
std::optional<size_t> FindLine(std::string_view text, Visit visit) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    if (visit(text.substr(begin, end - begin))) return begin;
    begin = end + 1;
  }
  return std::nullopt;
}

}  // namespace

void FoldCase(std::string_view text, std::string& out) {
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    out[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
}

Rule::Rule(const RuleConfig& config) : config_(config) {
  const auto fold = [&](const std::string& text) { return config_.caseSensitive ? text : Folded(text); };
  match_ = Needle(fold(config_.match));
  for (const std::string& word : config_.words) words_.emplace_back(fold(word));
  wildcard_ = fold(config_.wildcard);
  std::string_view literal;
  for (size_t at = 0; at < wildcard_.size();) {
    const size_t end = std::min(wildcard_.find_first_of("*?", at), wildcard_.size());
    if (end - at > literal.size()) literal = std::string_view(wildcard_).substr(at, end - at);
    at = end + 1;
  }
  wildcardLiteral_ = Needle(std::string(literal));
  label_ = Needle(fold(config_.amountAfter));
  if (!config_.regex.empty()) {
    std::string error;
    regex_ = CompileRegex(config_.regex, config_.caseSensitive, error);
  }
}

std::optional<size_t> Rule::FindWord(std::string_view text) const {
  std::optional<size_t> first;
  for (const Needle& word : words_) {
    for (size_t at = word.FindIn(text); at != std::string_view::npos; at = word.FindIn(text, at + 1)) {
      if (first && at >= *first) break;
      if (WordStartsAt(text, at) && WordEndsAt(text, at + word.Size())) {
        first = at;
        break;
      }
    }
  }
  return first;
}

std::optional<size_t> Rule::FindWildcard(std::string_view text) const {
  if (wildcardLiteral_.FindIn(text) == std::string_view::npos) return std::nullopt;  // the common case, at once
  return FindLine(text, [&](std::string_view line) { return WildcardFound(wildcard_, line); });
}

// The label starts a word ("TOTAL" is not found in "SUBTOTAL"); of its
// lines, the first whose amount lies within the bounds.
std::optional<size_t> Rule::FindAmount(std::string_view text, std::optional<double>& amount) const {
  for (size_t at = label_.FindIn(text); at != std::string_view::npos; at = label_.FindIn(text, at + 1)) {
    if (!WordStartsAt(text, at)) continue;
    const std::string_view line = LineAt(text, at);
    const size_t lineStart = static_cast<size_t>(line.data() - text.data());
    const std::optional<double> value = FirstAmount(line, at - lineStart + label_.Size());
    if (!value) continue;
    if (config_.above && !(*value > *config_.above)) continue;
    if (config_.below && !(*value < *config_.below)) continue;
    amount = value;
    return at;
  }
  return std::nullopt;
}

bool Rule::Matches(const ReceiptText& receipt, std::string_view folded, bool regexFound, RuleHit& hit) const {
  const ReceiptFacts& facts = receipt.facts;
  const bool pulse = !facts.drawerPulses.empty();
  if (config_.drawer == DrawerCondition::kAny && !pulse) return false;
  if (config_.drawer == DrawerCondition::kWithoutText && (!pulse || facts.visibleText)) return false;
  const std::string_view text = Haystack(receipt, folded);
  std::optional<size_t> lineAt;
  const auto holds = [&](std::optional<size_t> at) {
    if (!at) return false;
    if (!lineAt) lineAt = at;
    return true;
  };
  if (!match_.Empty() && !holds(Found(match_.FindIn(text)))) return false;
  if (!words_.empty() && !holds(FindWord(text))) return false;
  if (!wildcard_.empty() && !holds(FindWildcard(text))) return false;
  if (regex_ && (!regexFound || !holds(regex_->Find(receipt.text)))) return false;
  hit.amount.reset();
  if (!label_.Empty() && !holds(FindAmount(text, hit.amount))) return false;
  // Offsets are the same in the folded text and the receipt's own.
  hit.line = lineAt ? LineAt(receipt.text, *lineAt) : std::string_view();
  return true;
}

}  // namespace tavrik
