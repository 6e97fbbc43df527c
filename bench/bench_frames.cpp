// Micro-benchmarks of the hot path: frame assembly with cut detection, and
// the broadcast of one part to every streaming client.
#include <benchmark/benchmark.h>

#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "frames/FrameAssembler.h"
#include "frames/MultipartPart.h"
#include "platform/fake/FakePlatform.h"
#include "server/ClientServer.h"


namespace tavrik {
namespace {

class CountingSink : public PartSink {
 public:
  void Broadcast(const Payload& part) override {
    ++parts;
    benchmark::DoNotOptimize(part.data());
  }
  long parts = 0;
};

// A 576 x 64 dot raster logo whose data holds every byte value, the cut
// commands' included.
std::string Logo() {
  std::string logo = "\x1dv0";
  logo += std::string{'\0', 72, 0, 64, 0};
  for (int i = 0; i < 72 * 64; ++i) logo += static_cast<char>(i * 7);
  return logo;
}

// About 1 KB of printable receipt text, each ending in GS "V" 0; with a
// logo, each receipt begins with it.
std::string ReceiptStream(size_t bytes, bool withLogo = false) {
  std::string stream;
  int n = 0;
  while (stream.size() < bytes) {
    std::string receipt = "\x1b@\x1b" "a\x01" + (withLogo ? Logo() : "") + "SHOP " + std::to_string(n++) + "\n";
    while (receipt.size() < 1000) receipt += "Item of the day          12.50\n";
    stream += receipt + "\x1dV";
    stream += '\0';
  }
  return stream;
}

void BM_AppendInputWithCutDetection(benchmark::State& state) {
  const auto chunkSize = static_cast<size_t>(state.range(0));
  const std::string stream = ReceiptStream(4 << 20, state.range(1) != 0);
  CountingSink sink;
  FrameAssembler frames(true, false, sink);
  // Warm up: the frame buffer grows once, then never again.
  frames.Append(stream);
  size_t at = 0;
  long chunks = 0;
  const long before = bench::allocations.load();
  for (auto _ : state) {
    if (at + chunkSize > stream.size()) at = 0;
    frames.Append(std::string_view(stream).substr(at, chunkSize));
    at += chunkSize;
    ++chunks;
  }
  const long allocated = bench::allocations.load() - before;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * chunkSize));
  state.counters["allocs/chunk"] = static_cast<double>(allocated) / static_cast<double>(chunks);
  state.counters["allocs/frame"] =
      static_cast<double>(allocated) / static_cast<double>(std::max(1L, sink.parts));
}
// Second argument 1: receipts with a raster logo, whose data is stepped over.
BENCHMARK(BM_AppendInputWithCutDetection)
    ->Args({4096, 0})->Args({65536, 0})->Args({1 << 20, 0})->Args({4096, 1})->Args({65536, 1});

void BM_AppendInputWithoutCuts(benchmark::State& state) {
  const std::string chunk(static_cast<size_t>(state.range(0)), 'x');
  CountingSink sink;
  FrameAssembler frames(false, false, sink);
  frames.Append(std::string(40960, 'w'));
  frames.SendFrame();
  const long before = bench::allocations.load();
  for (auto _ : state) {
    frames.Append(chunk);
    if (frames.Length() >= 40960) frames.SendFrame();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * chunk.size()));
  state.counters["allocs/chunk"] =
      static_cast<double>(bench::allocations.load() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_AppendInputWithoutCuts)->Arg(4096);

void BM_Broadcast(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  FakePlatform platform;
  ClientServer server(platform, [] {});
  server.Listen(8147);
  // The server creates the listener first, then the client sockets in order.
  const auto client = [&](int i) -> FakeSocket& { return *platform.Sockets().at(1 + static_cast<size_t>(i)); };
  FakeSocket& listener = *platform.Sockets().at(0);
  for (int i = 0; i < clients; ++i) {
    listener.RequestConnection("127.0.0.1");
    client(i).keepSent = false;
    client(i).Arrive("GET / HTTP/1.0\r\n\r\n");
  }
  const Payload part = BuildPart(kPlainTextType, std::string(1000, 'r'));
  const long before = bench::allocations.load();
  for (auto _ : state) {
    server.Broadcast(part);
    state.PauseTiming();
    for (int i = 0; i < clients; ++i)  // the clients keep up
      client(i).DrainAll();
    state.ResumeTiming();
  }
  state.counters["ns/client"] = benchmark::Counter(
      static_cast<double>(state.iterations() * clients), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["allocs/send"] =
      static_cast<double>(bench::allocations.load() - before) / static_cast<double>(state.iterations());
  state.counters["part shared"] =
      client(0).lastSend.at(0).data() == part.data() ? 1 : 0;
}
BENCHMARK(BM_Broadcast)->Arg(1)->Arg(8)->Arg(31);

}  // namespace
}  // namespace tavrik

BENCHMARK_MAIN();
