#include "web/StatusReport.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrik {
namespace {

TEST(StatusReport, SourceIsUpOnlyWhileItTakesBytes) {
  const struct {
    const char* state;
    char up;
  } cases[] = {
      {"listening", '1'},  {"connected", '1'},    {"receiving", '1'},
      {"port open", '1'},  {"polling", '1'},      {"retrying", '0'},
      {"setting up", '0'}, {"reconnecting", '0'}, {"unknown", '0'},
  };
  for (const auto& [state, up] : cases) {
    RelayStatus status;
    status.sourceKind = "network";
    status.sourceState = state;
    const std::string sample =
        "tavrik_source_up{kind=\"network\",state=\"" + std::string(state) + "\"} " + up + "\n";
    EXPECT_NE(MetricsText(status, "1.0.0").find(sample), std::string::npos) << state;
  }
}

TEST(StatusReport, TheJournalIsReportedOnlyWhenThereIsOne) {
  RelayStatus status;
  const std::string json = StatusJson(status, "1.0.0");
  const std::string metrics = MetricsText(status, "1.0.0");
  EXPECT_EQ(json.find("journal"), std::string::npos);
  EXPECT_EQ(metrics.find("journal"), std::string::npos);
  status.journal = JournalReport{false, "/var/j.db", 3, 40, 2, 41, 7, "disk full"};
  EXPECT_EQ(StatusJson(status, "1.0.0"),
            json.substr(0, json.size() - 2) +
                R"(,"journal":{"state":"failing","path":"/var/j.db","queued":3,"written":40,"dropped":2,)"
                R"("lastSeq":41,"unindexed":7,"error":"disk full"}})" "\n");
  const std::string withJournal = MetricsText(status, "1.0.0");
  EXPECT_EQ(withJournal.substr(0, metrics.size()), metrics);
  for (const char* sample : {"tavrik_journal_up 0\n", "tavrik_journal_written_total 40\n",
                             "tavrik_journal_queued 3\n", "tavrik_journal_dropped_total 2\n",
                             "tavrik_journal_unindexed 7\n"}) {
    EXPECT_NE(withJournal.find(sample), std::string::npos) << sample;
  }
}

}  // namespace
}  // namespace tavrik
