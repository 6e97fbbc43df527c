// The journal's search on any bytes: taken both as search text and as a whole
// query string, each gives an error message or an expression that a real
// FTS5 table runs without a syntax error (so none of the user's text is
// FTS5 syntax), and an error never comes with an expression.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzInput.h"
#include "search/MatchExpression.h"
#include "search/ReceiptQuery.h"

namespace {

using tavrik::fuzz::Require;

sqlite3_stmt* MatchStatement() {
  static sqlite3_stmt* statement = [] {
    sqlite3* db = nullptr;
    Require(sqlite3_open(":memory:", &db) == SQLITE_OK);
    Require(sqlite3_exec(db,
                         "CREATE VIRTUAL TABLE t USING fts5(text, tokenize = 'unicode61 remove_diacritics 2');"
                         "INSERT INTO t VALUES ('RECEIPT 1 REFUND 2.50'), ('card sale total'), ('void');",
                         nullptr, nullptr, nullptr) == SQLITE_OK);
    sqlite3_stmt* prepared = nullptr;
    Require(sqlite3_prepare_v2(db, "SELECT rowid FROM t WHERE t MATCH ?1 ORDER BY rowid DESC", -1, &prepared,
                               nullptr) == SQLITE_OK);
    return prepared;
  }();
  return statement;
}

void RequireRuns(const std::string& expression) {
  if (expression.empty()) return;
  sqlite3_stmt* statement = MatchStatement();
  sqlite3_reset(statement);
  sqlite3_bind_text(statement, 1, expression.data(), static_cast<int>(expression.size()), SQLITE_STATIC);
  int result = SQLITE_ROW;
  while (result == SQLITE_ROW) result = sqlite3_step(statement);
  Require(result == SQLITE_DONE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const tavrik::MatchTranslation translation = tavrik::TranslateSearchText(input);
  Require(translation.error.empty() || translation.expression.empty());
  RequireRuns(translation.expression);
  const tavrik::ReceiptQueryParse parse = tavrik::ParseReceiptQuery(input);
  if (parse.error.empty()) {
    Require(parse.query.limit >= 1 && parse.query.limit <= tavrik::ReceiptQuery::kMaxLimit);
    RequireRuns(parse.query.match);
  }
  return 0;
}
