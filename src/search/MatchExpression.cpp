#include "search/MatchExpression.h"

#include <vector>

namespace tavrik {
namespace {

struct Term {
  std::string text;
  bool prefix = false;
  bool excluded = false;
  bool joinsPrevious = false;  // an OR stood before it
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Valid UTF-8 with no control character but blanks: FTS5 reads its strings
// only up to a NUL, and the tokenizer is defined on characters.
bool IsPlainText(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      if ((lead < 0x20 && !IsBlank(text[i])) || lead == 0x7F) return false;
      ++i;
      continue;
    }
    const size_t length = (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    unsigned code = lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3Fu);
    }
    const unsigned least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

void AppendString(std::string& out, const Term& term) {
  out += '"';
  for (const char c : term.text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  if (term.prefix) out += '*';
}

// Terms joined by OR as one group: "(a OR b)", or the term alone.
void AppendGroups(std::string& out, const std::vector<Term>& terms, bool excluded) {
  const char* const separator = excluded ? " OR " : " AND ";
  bool first = true;
  for (size_t i = 0; i < terms.size(); ++i) {
    if (terms[i].excluded != excluded) continue;
    if (!first) out += terms[i].joinsPrevious ? " OR " : separator;
    const bool opens = !excluded && i + 1 < terms.size() && terms[i + 1].joinsPrevious && !terms[i].joinsPrevious;
    if (opens) out += '(';
    AppendString(out, terms[i]);
    const bool closes = !excluded && terms[i].joinsPrevious && (i + 1 == terms.size() || !terms[i + 1].joinsPrevious);
    if (closes) out += ')';
    first = false;
  }
}

MatchTranslation Error(std::string message) { return {{}, std::move(message)}; }

}  // namespace

MatchTranslation TranslateSearchText(std::string_view text) {
  if (text.size() > kMaxSearchBytes) {
    return Error("q is longer than " + std::to_string(kMaxSearchBytes) + " bytes");
  }
  if (!IsPlainText(text)) return Error("q holds a control character or is not UTF-8");
  std::vector<Term> terms;
  bool orPending = false;
  for (size_t at = 0;;) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at == text.size()) break;
    Term term;
    if (text[at] == '-') {
      term.excluded = true;
      ++at;
      if (at == text.size() || IsBlank(text[at])) return Error("a '-' must stand right before a word");
    }
    if (text[at] == '"') {
      const size_t close = text.find('"', at + 1);
      if (close == std::string_view::npos) return Error("a phrase's closing '\"' is missing");
      term.text = text.substr(at + 1, close - at - 1);
      at = close + 1;
      if (at < text.size() && text[at] == '*') {
        term.prefix = true;
        ++at;
      }
      if (term.text.find_first_not_of(" \t\r\n") == std::string::npos) return Error("a phrase is empty");
    } else {
      size_t end = at;
      while (end < text.size() && !IsBlank(text[end]) && text[end] != '"') ++end;
      term.text = text.substr(at, end - at);
      at = end;
      if (term.text == "OR" && !term.excluded) {
        if (terms.empty() || orPending) return Error("OR must stand between two words");
        orPending = true;
        continue;
      }
      if (term.text.back() == '*') {
        term.prefix = true;
        term.text.pop_back();
      }
      if (term.text.empty() || term.text.find('*') != std::string::npos) {
        return Error("a '*' may only end a word");
      }
    }
    if (orPending) {
      if (term.excluded || terms.back().excluded) return Error("OR cannot join an excluded word");
      term.joinsPrevious = true;
      orPending = false;
    }
    terms.push_back(std::move(term));
    if (terms.size() > kMaxSearchTerms) {
      return Error("q has more than " + std::to_string(kMaxSearchTerms) + " terms");
    }
  }
  if (orPending) return Error("OR must stand between two words");
  if (terms.empty()) return {};
  bool anyKept = false;
  bool anyExcluded = false;
  for (const Term& term : terms) (term.excluded ? anyExcluded : anyKept) = true;
  if (!anyKept) return Error("q needs a word that is not excluded with '-'");
  MatchTranslation translation;
  if (!anyExcluded) {
    AppendGroups(translation.expression, terms, false);
    return translation;
  }
  // FTS5's NOT takes two operands: the kept terms, then every excluded one.
  translation.expression = "(";
  AppendGroups(translation.expression, terms, false);
  translation.expression += ") NOT (";
  AppendGroups(translation.expression, terms, true);
  translation.expression += ')';
  return translation;
}

}  // namespace tavrik
