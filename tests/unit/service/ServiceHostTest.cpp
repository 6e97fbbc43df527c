// The stop path every service host shares: StopService ends the service
// first, then hands over to the shutdown that start-up gave it.
#include "service/ServiceHost.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrik {
namespace {

class RecordingHost : public ServiceHost {
 public:
  explicit RecordingHost(std::string& journal) : journal_(journal) {}
  bool StartAsService() override { return true; }
  bool StopRequested() override { return false; }
  void RequestStop() override {}
  bool EndService() override {
    journal_ += "end;";
    return true;
  }

 private:
  std::string& journal_;
};

TEST(ServiceHost, StopServiceEndsTheServiceBeforeShuttingDown) {
  std::string journal;
  RecordingHost host(journal);
  host.SetShutdown([&] { journal += "shutdown;"; });
  host.StopService();
  EXPECT_EQ(journal, "end;shutdown;");
}

TEST(ServiceHost, StopServiceWithoutShutdownOnlyEndsTheService) {
  std::string journal;
  RecordingHost host(journal);
  host.StopService();
  EXPECT_EQ(journal, "end;");
}

}  // namespace
}  // namespace tavrik
