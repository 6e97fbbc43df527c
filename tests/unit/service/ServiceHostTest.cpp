// The stop path every service host shares: HandleServiceStop ends the service
// first, then hands over to the unload that start-up gave it.
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

TEST(ServiceHost, HandleServiceStopEndsTheServiceBeforeUnloading) {
  std::string journal;
  RecordingHost host(journal);
  host.SetUnload([&] { journal += "unload;"; });
  host.HandleServiceStop();
  EXPECT_EQ(journal, "end;unload;");
}

TEST(ServiceHost, HandleServiceStopWithoutUnloadOnlyEndsTheService) {
  std::string journal;
  RecordingHost host(journal);
  host.HandleServiceStop();
  EXPECT_EQ(journal, "end;");
}

}  // namespace
}  // namespace tavrik
