// What the web port (-w) adds per receipt: the event (JSON text) of a ~1 KB
// receipt, decoded beforehand as the pipeline does, handed to each
// streaming viewer. Without -w none of this runs.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "receipt/ReceiptDecoder.h"
#include "web/WebServer.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

class NoStatus : public StatusSource {
 public:
  RelayStatus CurrentStatus() const override { return {}; }
};

std::string Receipt() {
  std::string receipt =
      "\x1b@\x1bt\x13\x1b"
      "E\x01"
      "CORNER BAKERY\n\x1b"
      "E\x00"s;
  while (receipt.size() < 900)
    receipt += "Sourdough loaf          4.20 \xd5\nCroissant x2            3.60 \xd5\n";
  return receipt + "Thank you!\n\x1dV\x41\x03"s;
}

void BM_WebReceipt(benchmark::State& state) {
  FakePlatform platform;
  NoStatus status;
  WebServer web(platform, status);
  web.Listen({}, 8080);
  FakeSocket& listener = *platform.Sockets().at(0);
  for (int64_t i = 0; i < state.range(0); ++i) {
    listener.RequestConnection("127.0.0.1");
    FakeSocket& viewer = *platform.Sockets().back();
    viewer.keepSent = false;
    viewer.Arrive("GET /receipts HTTP/1.1\r\n\r\n");
  }
  const std::string frame = Receipt();
  ReceiptText text;
  ReceiptDecoder().Decode(frame, text);
  ReceiptRecord receipt{1, "2026-12-07 12:00:00", 1796644800000, 60, frame, true, &text};
  for (auto _ : state) {
    web.OnReceipt(receipt);
    ++receipt.sequence;
    for (size_t i = 1; i < platform.Sockets().size(); ++i) platform.Sockets()[i]->DrainAll();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_WebReceipt)->Arg(0)->Arg(4)->Arg(16);

}  // namespace
}  // namespace tavrik

BENCHMARK_MAIN();
