// What the consumers add per frame with the web port (-w) and an outputs
// file (-k) together: the frame past the clients, decoded, numbered, one
// viewer's event and a TCP recorder's text. No client is connected, so the
// frame's own broadcast costs next to nothing.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "controller/Relay.h"
#include "outputs/Outputs.h"
#include "platform/fake/FakePlatform.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

class NoService : public ServiceControl {
 public:
  bool StopRequested() override { return false; }
  void StopService() override {}
  void Heartbeat() override {}
  void ReportStatus(const std::string&) override {}
};

std::string Receipt() {
  std::string receipt = "\x1b@\x1bt\x13\x1b" "E\x01" "CORNER BAKERY\n\x1b" "E\x00"s;
  while (receipt.size() < 900) receipt += "Sourdough loaf          4.20 \xd5\nCroissant x2            3.60 \xd5\n";
  return receipt + "Thank you!\n\x1dV\x41\x03"s;
}

void BM_ConsumersPerFrame(benchmark::State& state) {
  FakePlatform platform;
  NoService service;
  Settings settings;
  settings.webPort = 8080;
  settings.cutDetection = true;
  Relay relay(platform, settings, service);
  OutputsConfig config;
  RecorderConfig recorder;
  recorder.host = "127.0.0.1";
  recorder.port = 9000;
  config.recorders.push_back(recorder);
  Outputs outputs(platform, config);
  FakeSocket& recorderSocket = *platform.Sockets().back();
  relay.AddReceiptListener(outputs);
  relay.Start();
  outputs.Start();
  recorderSocket.CompleteConnect();
  recorderSocket.keepSent = false;
  FakeSocket* webListener = nullptr;
  for (FakeSocket* socket : platform.Sockets()) {
    if (socket->listenPort == 8080) webListener = socket;
  }
  webListener->RequestConnection("127.0.0.1");
  FakeSocket& viewer = *platform.Sockets().back();
  viewer.keepSent = false;
  viewer.Arrive("GET /receipts HTTP/1.1\r\n\r\n");
  const std::string frame = Receipt();
  for (auto _ : state) {
    relay.Frames().Append(frame);  // ends in a cut: sent at once
    platform.Advance(ReceiptPipeline::kDelayMs);
    viewer.DrainAll();
    recorderSocket.DrainAll();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConsumersPerFrame);

}  // namespace
}  // namespace tavrik

BENCHMARK_MAIN();
