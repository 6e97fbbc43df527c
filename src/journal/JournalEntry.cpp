#include "journal/JournalEntry.h"

#include <span>
#include <string_view>

#include "json/JsonString.h"
#include "web/ReceiptJsonFields.h"

namespace tavrik {
namespace {

// {"drawer":[…],"codes":[…],"images":[…]} as the web port's receipts carry
// them: the first field's comma becomes the object's brace.
void AppendFactsJson(std::string& out, const ReceiptFacts& facts) {
  if (facts.drawerPulses.empty() && facts.codes.empty() && facts.rasters.empty()) return;
  const size_t start = out.size();
  AppendReceiptFactsFields(out, facts);
  out[start] = '{';
  out += '}';
}

void AppendRulesJson(std::string& out, std::span<const std::string_view> rules) {
  if (rules.empty()) return;
  out += '[';
  for (size_t i = 0; i < rules.size(); ++i) {
    if (i > 0) out += ',';
    AppendJsonString(out, rules[i]);
  }
  out += ']';
}

}  // namespace

void FillJournalEntry(JournalEntry& entry, const ReceiptRecord& receipt, bool keepRaw) {
  entry.sequence = receipt.sequence;
  entry.time.assign(receipt.time);
  entry.epochMs = receipt.epochMs;
  entry.utcOffsetMinutes = receipt.utcOffsetMinutes;
  entry.cut = receipt.text && receipt.text->cut;
  entry.text.clear();
  entry.facts.clear();
  entry.rules.clear();
  entry.raw.clear();
  AppendRulesJson(entry.rules, receipt.rules);
  if (receipt.text) {
    entry.text.append(receipt.text->text);
    AppendFactsJson(entry.facts, receipt.text->facts);
  }
  if (keepRaw) entry.raw.assign(receipt.bytes);
}

}  // namespace tavrik
