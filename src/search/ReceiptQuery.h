#pragma once
// A search of the journal as the web port's query string gives it:
//   q       search text (see MatchExpression.h)
//   from    YYYY-MM-DD or YYYY-MM-DDTHH:MM, local time: receipts from then on
//   to      the same form, inclusive: up to the end of the day or minute it names
//   limit   receipts per page, 1..kMaxLimit (default kDefaultLimit)
//   before  only receipts numbered below this (the previous page's "next")
//   rule    only receipts that matched the rule of this name (empty: any)
// Other parameters are ignored; a malformed one is an error to answer with
// 400. Pure, never throws.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrik {

struct LocalMinute {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  auto operator<=>(const LocalMinute&) const = default;
};

struct ReceiptQuery {
  static constexpr int kDefaultLimit = 50;
  static constexpr int kMaxLimit = 500;

  std::string match;  // FTS5 MATCH expression; empty: every receipt
  std::string rule;   // a rule's name, bound as a value; empty: every receipt
  std::optional<LocalMinute> from;
  std::optional<LocalMinute> to;
  bool toWholeDay = false;  // `to` named a day, not a minute
  uint64_t before = 0;      // 0: from the newest receipt
  int limit = kDefaultLimit;
};

struct ReceiptQueryParse {
  ReceiptQuery query;
  std::string error;  // empty when the query is good
};

// query: the target's query string, still percent-encoded.
ReceiptQueryParse ParseReceiptQuery(std::string_view query);

// Unix milliseconds of the local minute's start, by the system's time zone
// (its mktime). A minute that a clock change skips counts as its
// neighbour's.
int64_t LocalMinuteToEpochMs(const LocalMinute& minute);
// The first Unix millisecond after what `to` covers: the next day or minute.
int64_t EndOfToEpochMs(const ReceiptQuery& query);

}  // namespace tavrik
