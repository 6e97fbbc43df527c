// The scan of a passed-through POS stream for status queries: every byte the
// POS sends to the printer goes through it, on the event thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "tap/PosQueryScanner.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

// 64 KiB of receipts as a POS sends them: text lines with a style command
// every few lines and a cut at the end of each receipt.
std::string PosStream() {
  std::string stream;
  while (stream.size() < 64 * 1024) {
    stream += "\x1b@\x1b" "a\x01\x1b" "E\x01" "CORNER BAKERY\n\x1b" "E\x00"s;
    for (int line = 0; line < 24; ++line) {
      stream += line % 6 == 0 ? "\x1b!\x10"s : ""s;
      stream += "Sourdough loaf                  4.20 EUR\n";
    }
    stream += "Thank you!\n\n\n\x1dV\x41\x03"s;
  }
  return stream;
}

void BM_ScanPosStream(benchmark::State& state) {
  const std::string stream = PosStream();
  tap::PosQueryScanner scanner;
  int64_t queries = 0;
  for (auto _ : state) {
    size_t at = 0;
    while (scanner.Next(stream, at)) ++queries;
    benchmark::DoNotOptimize(queries);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_ScanPosStream);

}  // namespace
}  // namespace tavrik

BENCHMARK_MAIN();
