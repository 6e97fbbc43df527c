// Text recognition of a receipt printed as an image: the time Tesseract
// takes for one 576-dot receipt page (after the first, which loads the
// language data), characters read per second, and the character error rate
// against the text the page was drawn from (Courier at 203 dpi, as a POS
// that prints images draws it; tests/data/void-receipt.pbm). The error rate
// is the edit distance between the two texts over the drawn text's length,
// both with runs of blanks made one blank and empty lines left out: the
// engine does not keep a receipt's column padding.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ocr/OneEngineThread.h"
#include "ocr/RasterPage.h"
#include "ocr/TextRecognizer.h"
#include "receipt/ReceiptDecoder.h"

namespace tavrik {
namespace {

constexpr const char* kDrawn =
    "CORNER SHOP TILL 3\nCOFFEE LARGE 3.50\nMUFFIN 2.25\nVOID 4.99\nTOTAL 1.00\nCASH 5.00\nCHANGE 4.00\nTHANK YOU\n";

PageImage LoadPage() {
  std::ifstream in(std::string(TAVRIK_SOURCE_DIR) + "/tests/data/void-receipt.pbm", std::ios::binary);
  std::string line;
  std::getline(in, line);  // P4
  do std::getline(in, line);
  while (!line.empty() && line[0] == '#');
  PageImage page;
  std::istringstream(line) >> page.width >> page.height;
  page.bits.assign(std::istreambuf_iterator<char>(in), {});
  return page;
}

std::string Normalized(const std::string& text) {
  std::string out;
  std::string lineText;
  std::istringstream lines(text);
  while (std::getline(lines, lineText)) {
    std::string squeezed;
    for (const char c : lineText) {
      if (c == ' ' && (squeezed.empty() || squeezed.back() == ' ')) continue;
      squeezed += c;
    }
    while (!squeezed.empty() && squeezed.back() == ' ') squeezed.pop_back();
    if (!squeezed.empty()) out += squeezed + "\n";
  }
  return out;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

void BM_RecognizeReceiptPage(benchmark::State& state) {
  if (!TextRecognitionAvailable()) {
    state.SkipWithError("this build has no text recognition");
    return;
  }
  const auto recognizer = CreateTextRecognizer("eng");
  const PageImage page = LoadPage();
  std::string problem;
  std::string text = recognizer->Recognize(page, problem);  // loads the language data
  size_t characters = 0;
  for (auto _ : state) {
    text = recognizer->Recognize(page, problem);
    characters += text.size();
  }
  const std::string drawn = Normalized(kDrawn);
  const std::string read = Normalized(text);
  state.counters["chars_per_s"] = benchmark::Counter(static_cast<double>(characters), benchmark::Counter::kIsRate);
  state.counters["char_error_rate_pct"] =
      100.0 * static_cast<double>(EditDistance(drawn, read)) / static_cast<double>(drawn.size());
  state.counters["page_rows"] = page.height;
}
BENCHMARK(BM_RecognizeReceiptPage)->Unit(benchmark::kMillisecond)->MinTime(3);

// Laying out the page a receipt's images make, before it is read: for a
// 576 x 800 logo (GS v 0), dot by dot. Done by the reader's worker, not the
// event thread.
void BM_LayOutLogoPage(benchmark::State& state) {
  constexpr uint16_t kRowBytes = 72;
  constexpr uint16_t kRows = 800;
  std::string logo = "\x1dv0";
  logo += {'\0', static_cast<char>(kRowBytes), '\0', static_cast<char>(kRows & 0xFF), static_cast<char>(kRows >> 8)};
  for (size_t i = 0; i < size_t{kRowBytes} * kRows; ++i) logo += static_cast<char>(i * 37 % 251);
  ReceiptDecoder decoder;
  ReceiptText text;
  decoder.Decode(logo, text);
  for (auto _ : state) benchmark::DoNotOptimize(RasterPage(text.facts));
  state.counters["page_rows"] = RasterPage(text.facts).height;
}
BENCHMARK(BM_LayOutLogoPage)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavrik

// With one engine thread, as the relay runs it (see OneEngineThread.h).
int main(int argc, char** argv) {
  if (tavrik::EngineThreadsUnlimited()) tavrik::RestartWithOneEngineThread(argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
