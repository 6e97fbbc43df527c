#include "search/ReceiptQuery.h"

#include <charconv>
#include <ctime>

#include "search/MatchExpression.h"
#include "search/QueryString.h"

namespace tavrik {
namespace {

// A whole number of digits only (no sign, no blanks) within [low, high].
std::optional<uint64_t> Number(std::string_view text, uint64_t low, uint64_t high) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
      value > high) {
    return std::nullopt;
  }
  return value;
}

int Field(std::string_view text, size_t at, size_t length, int low, int high) {
  const auto value =
      Number(text.substr(at, length), static_cast<uint64_t>(low), static_cast<uint64_t>(high));
  return value ? static_cast<int>(*value) : -1;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// YYYY-MM-DD or YYYY-MM-DDTHH:MM; wholeDay tells which.
std::optional<LocalMinute> ParseLocalMinute(std::string_view text, bool& wholeDay) {
  wholeDay = text.size() == 10;
  if (text.size() != 10 && text.size() != 16) return std::nullopt;
  if (text[4] != '-' || text[7] != '-') return std::nullopt;
  LocalMinute minute;
  minute.year = Field(text, 0, 4, 1970, 9999);
  minute.month = Field(text, 5, 2, 1, 12);
  if (minute.year < 0 || minute.month < 0) return std::nullopt;
  minute.day = Field(text, 8, 2, 1, DaysInMonth(minute.year, minute.month));
  if (minute.day < 0) return std::nullopt;
  if (wholeDay) return minute;
  if (text[10] != 'T' || text[13] != ':') return std::nullopt;
  minute.hour = Field(text, 11, 2, 0, 23);
  minute.minute = Field(text, 14, 2, 0, 59);
  if (minute.hour < 0 || minute.minute < 0) return std::nullopt;
  return minute;
}

ReceiptQueryParse Error(std::string message) {
  return {{}, std::move(message)};
}

}  // namespace

ReceiptQueryParse ParseReceiptQuery(std::string_view queryString) {
  const auto parameters = ParseQueryString(queryString);
  if (!parameters) return Error("the query string has a '%' without two hex digits");
  ReceiptQueryParse parse;
  ReceiptQuery& query = parse.query;
  for (const QueryParameter& parameter : *parameters) {
    const std::string& value = parameter.value;
    if (parameter.name == "q") {
      MatchTranslation translation = TranslateSearchText(value);
      if (!translation.error.empty()) return Error(std::move(translation.error));
      query.match = std::move(translation.expression);
    } else if (parameter.name == "from" || parameter.name == "to") {
      bool wholeDay = false;
      const auto minute = ParseLocalMinute(value, wholeDay);
      if (!minute) return Error(parameter.name + " must be YYYY-MM-DD or YYYY-MM-DDTHH:MM");
      if (parameter.name == "from") {
        query.from = minute;
      } else {
        query.to = minute;
        query.toWholeDay = wholeDay;
      }
    } else if (parameter.name == "rule") {
      query.rule = value;
    } else if (parameter.name == "limit") {
      const auto limit = Number(value, 1, ReceiptQuery::kMaxLimit);
      if (!limit)
        return Error("limit must be a whole number from 1 to " +
                     std::to_string(ReceiptQuery::kMaxLimit));
      query.limit = static_cast<int>(*limit);
    } else if (parameter.name == "before") {
      const auto before = Number(value, 1, static_cast<uint64_t>(INT64_MAX));
      if (!before) return Error("before must be a receipt's sequence number");
      query.before = *before;
    }
  }
  if (query.from && query.to) {
    LocalMinute last = *query.to;  // the last minute that `to` covers
    if (query.toWholeDay) last = {last.year, last.month, last.day, 23, 59};
    if (last < *query.from) return Error("from is later than to");
  }
  return parse;
}

namespace {

int64_t ToEpochMs(const LocalMinute& minute, int extraDays, int extraMinutes) {
  std::tm local{};
  local.tm_year = minute.year - 1900;
  local.tm_mon = minute.month - 1;
  local.tm_mday = minute.day + extraDays;
  local.tm_hour = minute.hour;
  local.tm_min = minute.minute + extraMinutes;
  local.tm_isdst = -1;  // whatever the zone has in force then
  return static_cast<int64_t>(std::mktime(&local)) * 1000;
}

}  // namespace

int64_t LocalMinuteToEpochMs(const LocalMinute& minute) {
  return ToEpochMs(minute, 0, 0);
}

int64_t EndOfToEpochMs(const ReceiptQuery& query) {
  if (!query.to) return INT64_MAX;
  return query.toWholeDay ? ToEpochMs(*query.to, 1, 0) : ToEpochMs(*query.to, 0, 1);
}

}  // namespace tavrik
