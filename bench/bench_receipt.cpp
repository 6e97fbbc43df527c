// Receipt text decoding: ESC/POS frames of about 1 KB (one receipt each) to
// UTF-8 text and facts, with the allocations per frame once the output has
// grown; and the card number masking every decoded receipt goes through.
#include <benchmark/benchmark.h>

#include "AllocationCounter.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "receipt/CardNumbers.h"
#include "receipt/ReceiptDecoder.h"


namespace tavrik {
namespace {

using namespace std::string_literals;

// A shop's receipt: styled header, CP858 prices with the euro sign, tabbed
// columns, padded lines, a bar code, cut.
std::string Receipt(int number) {
  std::string receipt = "\x1b@\x1bt\x13\x1b" "a\x01\x1b" "E\x01" "CORNER BAKERY\n\x1b" "E\x00"s;
  receipt += "Receipt " + std::to_string(number) + "\r\n\x1b" "a\x00"s;
  while (receipt.size() < 900) {
    receipt += "Sourdough loaf\t\t\t4.20 \xd5   \n";
    receipt += "Croissant x2            3.60 EUR\n";
  }
  receipt += "\x1dh\x50\x1dk\x02" "4006381333931\0\n"s;
  receipt += "Thank you!\n\n\n\x1dV\x41\x03"s;
  return receipt;
}

void BM_DecodeReceipts(benchmark::State& state) {
  std::vector<std::string> frames;
  for (int i = 0; i < 16; ++i) frames.push_back(Receipt(1000 + i));
  ReceiptDecoder decoder;
  ReceiptText text;
  for (const auto& frame : frames) decoder.Decode(frame, text);  // the output string grows once
  size_t bytes = 0;
  size_t next = 0;
  const long before = bench::allocations.load();
  for (auto _ : state) {
    const std::string& frame = frames[next];
    next = (next + 1) % frames.size();
    decoder.Decode(frame, text);
    benchmark::DoNotOptimize(text.text.data());
    bytes += frame.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["frame bytes"] = static_cast<double>(frames[0].size());
  state.counters["allocs/frame"] =
      static_cast<double>(bench::allocations.load() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DecodeReceipts);

// About 1 KB of a shop receipt's text with dates, amounts and a phone
// number; with a card number in its middle when asked (range 1), put back
// before each run, which costs a copy within the string's capacity.
void BM_MaskCardNumbers(benchmark::State& state) {
  std::string receipt = "2026-12-07 12:00:00  Till 3  Tel +49 30 1234 5678\n";
  while (receipt.size() < 1024) receipt += "Sourdough loaf      4.20 \xE2\x82\xAC\nCroissant x2   3.60 EUR\n";
  if (state.range(0) == 1) receipt.insert(receipt.size() / 2, "VISA 4111 1111 1111 1111\n");
  std::string text = receipt;
  const long before = bench::allocations.load();
  size_t masked = 0;
  for (auto _ : state) {
    text.assign(receipt);
    masked += MaskCardNumbers(text);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * receipt.size()));
  state.counters["text bytes"] = static_cast<double>(receipt.size());
  state.counters["masked/receipt"] = static_cast<double>(masked) / static_cast<double>(state.iterations());
  state.counters["allocs/receipt"] =
      static_cast<double>(bench::allocations.load() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MaskCardNumbers)->Arg(0)->Arg(1);

// A raster image 4096 dots (512 bytes) wide and 1024 rows high is taken out
// of the text and its bits kept, chunk by chunk.
void BM_SkipRaster(benchmark::State& state) {
  const std::string header = "\x1dv0\x00\x00\x02\x00\x04"s;
  const size_t size = 512u * 1024u;
  const std::string chunk(static_cast<size_t>(state.range(0)), '\x0a');
  ReceiptDecoder decoder;
  ReceiptText text;
  for (auto _ : state) {
    decoder.Decode(header, text);
    for (size_t left = size; left > 0; left -= std::min(left, chunk.size()))
      decoder.Decode(std::string_view(chunk).substr(0, std::min(left, chunk.size())), text);
    benchmark::DoNotOptimize(text.text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_SkipRaster)->Arg(4096);

}  // namespace
}  // namespace tavrik

BENCHMARK_MAIN();
