// Receipt pictures: a typical 1 KB receipt (styled header, item lines, a bar
// code, cut), and one with a 576 x 800 logo and a QR code, rendered at 576
// dots from a fresh printer state; the PNG of the typical one; what holding a
// receipt for its picture costs the event thread per receipt (a run through
// without drawing, as a receipt is let go), and the picture of the newest of
// 50 held receipts, asked for; the picture drawn as each receipt comes (for
// MQTT's and webhooks' png) and held, with its PNG's size.
#include <benchmark/benchmark.h>

#include <string>

#include "pictures/ReceiptPictures.h"
#include "png/PngWriter.h"
#include "render/ReceiptRenderer.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

std::string TypicalReceipt() {
  std::string receipt = "\x1b@\x1bt\x13\x1b" "a\x01\x1b!\x38" "CORNER BAKERY\n\x1b!\x00" "Receipt 1042\n\x1b" "a\x00"s;
  while (receipt.size() < 900) {
    receipt += "Sourdough loaf\t\t\t4.20 \xd5   \n";
    receipt += "Croissant x2            3.60 EUR\n";
  }
  receipt += "\x1b" "E\x01TOTAL 9.99\x1b" "E\x00\n\x1dh\x50\x1dH\x02\x1dk\x02" "4006381333931\0\n"s;
  receipt += "Thank you!\n\n\n\x1dV\x41\x03"s;
  return receipt;
}

std::string LogoAndQrReceipt() {
  std::string logo = "\x1b@\x1dv0\x00\x48\x00\x20\x03"s;  // 72 bytes (576 dots) x 800 rows
  for (int i = 0; i < 72 * 800; ++i) logo += static_cast<char>(i * 7 % 251);
  const std::string data = "https://receipts.example.test/r/2026-12-08/0042?total=9.99&vat=1.59";
  logo += TypicalReceipt().substr(2, 400);
  logo += "\x1b" "a\x01\x1d(k\x03\x00" "1C\x06\x1d(k"s + static_cast<char>(data.size() + 3) + '\0' + "1P0" + data +
          "\x1d(k\x03\x00" "1Q0\n\x1dV\x00"s;
  return logo;
}

void Render(benchmark::State& state, const std::string& receipt) {
  ReceiptRenderer renderer({});
  for (auto _ : state) {
    PrinterState printer;
    RenderedReceipt out = renderer.Render(receipt, printer);
    benchmark::DoNotOptimize(out.paper.Row(0));
  }
  state.SetBytesProcessed(static_cast<int64_t>(receipt.size()) * state.iterations());
  state.counters["frame bytes"] = static_cast<double>(receipt.size());
}

void BM_RenderTypicalReceipt(benchmark::State& state) { Render(state, TypicalReceipt()); }
BENCHMARK(BM_RenderTypicalReceipt)->Unit(benchmark::kMillisecond);

void BM_RenderLogoAndQrCode(benchmark::State& state) { Render(state, LogoAndQrReceipt()); }
BENCHMARK(BM_RenderLogoAndQrCode)->Unit(benchmark::kMillisecond);

void BM_PngOfTypicalReceipt(benchmark::State& state) {
  PrinterState printer;
  const RenderedReceipt out = ReceiptRenderer({}).Render(TypicalReceipt(), printer);
  std::string png;
  for (auto _ : state) {
    PngWriter::Write(out.paper, png);
    benchmark::DoNotOptimize(png.data());
  }
  state.counters["png bytes"] = static_cast<double>(png.size());
  state.counters["rows"] = out.paper.Height();
}
BENCHMARK(BM_PngOfTypicalReceipt)->Unit(benchmark::kMillisecond);

void BM_AdvanceTypicalReceipt(benchmark::State& state) {
  const std::string receipt = TypicalReceipt();
  ReceiptRenderer renderer({});
  PrinterState printer;
  for (auto _ : state) {
    renderer.Advance(receipt, printer);
    benchmark::DoNotOptimize(printer.lineSpacing);
  }
}
BENCHMARK(BM_AdvanceTypicalReceipt)->Unit(benchmark::kMicrosecond);

ReceiptRecord Record(uint64_t sequence, const std::string& bytes, const ReceiptText& text) {
  ReceiptRecord record;
  record.sequence = sequence;
  record.bytes = bytes;
  record.text = &text;
  return record;
}

void BM_HoldTypicalReceipt(benchmark::State& state) {
  const std::string receipt = TypicalReceipt();
  const ReceiptText text;
  ReceiptPictures pictures({}, true);
  uint64_t sequence = 0;
  for (auto _ : state) pictures.OnReceipt(Record(++sequence, receipt, text));
}
BENCHMARK(BM_HoldTypicalReceipt)->Unit(benchmark::kMicrosecond);

void BM_PictureOfNewestOf50(benchmark::State& state) {
  const std::string receipt = TypicalReceipt();
  const ReceiptText text;
  ReceiptPictures pictures({}, true);
  for (uint64_t sequence = 1; sequence <= ReceiptPictures::kHeldReceipts; ++sequence) {
    pictures.OnReceipt(Record(sequence, receipt, text));
  }
  std::string png;
  for (auto _ : state) {
    pictures.PictureOf(ReceiptPictures::kHeldReceipts, png);
    benchmark::DoNotOptimize(png.data());
  }
}
BENCHMARK(BM_PictureOfNewestOf50)->Unit(benchmark::kMillisecond);

void Paint(benchmark::State& state, const std::string& receipt) {
  const ReceiptText text;
  ReceiptPictures pictures({}, true);
  uint64_t sequence = 0;
  size_t pngBytes = 0;
  for (auto _ : state) {
    ReceiptRecord record = Record(++sequence, receipt, text);
    record.png = pictures.Paint(record);
    pngBytes = record.png.size();
    pictures.OnReceipt(record);
  }
  state.counters["png bytes"] = static_cast<double>(pngBytes);
}
void BM_PaintTypicalReceipt(benchmark::State& state) { Paint(state, TypicalReceipt()); }
BENCHMARK(BM_PaintTypicalReceipt)->Unit(benchmark::kMillisecond);
void BM_PaintLogoAndQrReceipt(benchmark::State& state) { Paint(state, LogoAndQrReceipt()); }
BENCHMARK(BM_PaintLogoAndQrReceipt)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrik

BENCHMARK_MAIN();
