#include "search/ReceiptQuery.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "search/MatchExpression.h"

namespace tavrik {
namespace {

struct Translation {
  const char* text;
  const char* expression;  // null: an error whose message holds `error`
  const char* error = "";
};

TEST(MatchExpressionTest, TurnsSearchTextIntoQuotedTerms) {
  const Translation cases[] = {
      {"", ""},
      {"  \t ", ""},
      {"refund", R"("refund")"},
      {"refund cash", R"("refund" AND "cash")"},
      {"refu*", R"("refu"*)"},
      {R"("card sale" total)", R"("card sale" AND "total")"},
      {R"("card sa"*)", R"("card sa"*)"},
      {"refund OR void", R"(("refund" OR "void"))"},
      {"a OR b OR c d", R"(("a" OR "b" OR "c") AND "d")"},
      {"d a OR b", R"("d" AND ("a" OR "b"))"},
      {"refund -void", R"(("refund") NOT ("void"))"},
      {"-void refund -\"no sale\"", R"(("refund") NOT ("void" OR "no sale"))"},
      {"or and NOT NEAR", R"("or" AND "and" AND "NOT" AND "NEAR")"},  // operators are words
      {"receipts_text:x ^y {a}", R"("receipts_text:x" AND "^y" AND "{a}")"},
      {"it's a\"b\"", R"("it's" AND "a" AND "b")"},
      {"'); DROP TABLE receipts; --",
       R"(("');" AND "DROP" AND "TABLE" AND "receipts;") NOT ("-"))"},
      {"-void", nullptr, "not excluded"},
      {"-", nullptr, "'-'"},
      {"OR refund", nullptr, "OR"},
      {"refund OR", nullptr, "OR"},
      {"a OR OR b", nullptr, "OR"},
      {"a OR -b", nullptr, "excluded"},
      {"\"open", nullptr, "closing"},
      {"\"  \"", nullptr, "empty"},
      {"*", nullptr, "'*'"},
      {"a*b", nullptr, "'*'"},
      {"a\x01", nullptr, "control"},
      {"\xC3(", nullptr, "UTF-8"},
      {"\xED\xA0\x80", nullptr, "UTF-8"},  // a surrogate
      {"a b c d e f g h i j k l m n o p q", nullptr, "terms"},
  };
  for (const Translation& c : cases) {
    const MatchTranslation translation = TranslateSearchText(c.text);
    if (c.expression) {
      EXPECT_EQ(translation.expression, c.expression) << c.text;
      EXPECT_EQ(translation.error, "") << c.text;
    } else {
      EXPECT_EQ(translation.expression, "") << c.text;
      EXPECT_NE(translation.error.find(c.error), std::string::npos)
          << c.text << ": " << translation.error;
    }
  }
  EXPECT_NE(TranslateSearchText(std::string(kMaxSearchBytes + 1, 'a')).error, "");
  EXPECT_EQ(TranslateSearchText("grüße €").expression, R"("grüße" AND "€")");
}

TEST(ReceiptQueryTest, ReadsTheParametersOfAQueryString) {
  const ReceiptQueryParse parse = ParseReceiptQuery(
      "q=%22card+sale%22%20refu*&from=2026-03-01&to=2026-03-02T17:05&limit=20&before=900&_=1");
  ASSERT_EQ(parse.error, "");
  const ReceiptQuery& query = parse.query;
  EXPECT_EQ(query.match, R"("card sale" AND "refu"*)");
  EXPECT_EQ(query.from, (LocalMinute{2026, 3, 1, 0, 0}));
  EXPECT_EQ(query.to, (LocalMinute{2026, 3, 2, 17, 5}));
  EXPECT_FALSE(query.toWholeDay);
  EXPECT_EQ(query.limit, 20);
  EXPECT_EQ(query.before, 900u);

  const ReceiptQueryParse plain = ParseReceiptQuery("");
  EXPECT_EQ(plain.error, "");
  EXPECT_EQ(plain.query.match, "");
  EXPECT_EQ(plain.query.limit, ReceiptQuery::kDefaultLimit);
  EXPECT_EQ(plain.query.before, 0u);
  EXPECT_TRUE(ParseReceiptQuery("to=2026-03-02").query.toWholeDay);
  // A day's `to` covers the whole day, so a later minute that day is no contradiction.
  EXPECT_EQ(ParseReceiptQuery("from=2026-03-02T23:59&to=2026-03-02").error, "");
}

TEST(ReceiptQueryTest, RefusesMalformedParametersWithAMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"q=%2", "'%'"},
      {"q=%zz", "'%'"},
      {"q=-void", "excluded"},
      {"from=2026-3-01", "from"},
      {"from=2026-02-29", "from"},  // no leap day in 2026
      {"from=2026-04-31", "from"},
      {"to=2026-03-01T24:00", "to"},
      {"to=2026-03-01 10:00", "to"},
      {"to=2026-03-01T10:00:00", "to"},
      {"from=1969-12-31", "from"},
      {"from=2026-03-02&to=2026-03-01", "later"},
      {"limit=0", "limit"},
      {"limit=501", "limit"},
      {"limit=-1", "limit"},
      {"limit=1e2", "limit"},
      {"limit=", "limit"},
      {"before=0", "before"},
      {"before=9223372036854775808", "before"},
      {"before=%2B5", "before"},
  };
  for (const auto& [query, word] : cases) {
    const std::string error = ParseReceiptQuery(query).error;
    EXPECT_NE(error.find(word), std::string::npos) << query << ": " << error;
  }
  EXPECT_EQ(ParseReceiptQuery("from=2024-02-29").error, "");
}

TEST(ReceiptQueryTest, TurnsLocalTimesIntoUnixTimeAndToIntoTheEndOfWhatItNames) {
#ifdef _WIN32
  GTEST_SKIP() << "sets a POSIX TZ rule, which Windows does not read";
#else
  const char* const saved = std::getenv("TZ");
  const std::string savedZone = saved ? saved : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  ReceiptQuery query = ParseReceiptQuery("from=2026-01-15T10:30&to=2026-03-29").query;
  EXPECT_EQ(LocalMinuteToEpochMs(*query.from), 1768469400000);  // 09:30 UTC
  // The day of the change to summer time has 23 hours: ends at 22:00 UTC.
  EXPECT_EQ(EndOfToEpochMs(query), 1774821600000);
  query = ParseReceiptQuery("to=2026-07-01T12:00").query;
  EXPECT_EQ(EndOfToEpochMs(query), 1782900060000);  // 10:01 UTC
  EXPECT_EQ(EndOfToEpochMs(ReceiptQuery()), INT64_MAX);
  if (saved) {
    setenv("TZ", savedZone.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
#endif
}

}  // namespace
}  // namespace tavrik
