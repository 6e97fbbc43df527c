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

}  // namespace
}  // namespace tavrik
