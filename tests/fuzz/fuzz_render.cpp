// The receipt renderer on any bytes, cut into frames, the state carried from
// one to the next:
// - every picture is the paper's width and within the row bound, and a
//   truncated one is exactly that tall;
// - running a frame through without drawing it leaves the state drawing it does;
// - the state stays within its bounds (stored images, code data), whatever
//   the frames stored in it;
// - the time per input stays within libFuzzer's -timeout (linear in the input).
//
// Input layout as fuzz_receipt's: byte 0 = n, the next n bytes are frame
// lengths, used round and round; the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "FuzzInput.h"
#include "receipt/ReceiptDecoder.h"
#include "render/ReceiptRenderer.h"

namespace {

using tavrik::fuzz::Require;

// Small bound and narrow paper, so that the bound is often reached.
constexpr uint32_t kRows = 2000;
constexpr uint32_t kWidth = 384;

void RequireBounded(const tavrik::StoredImage& image) {
  Require(image.rows.size() <= tavrik::ReceiptDecoder::kMaxBlockBytes);
  Require(image.rows.size() == size_t{(image.width + 7) / 8} * image.height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto [pattern, stream] = tavrik::fuzz::ReadSplitInput(data, size);
  tavrik::ReceiptRenderer renderer({kWidth, kRows});
  tavrik::PrinterState state;
  tavrik::PrinterState advanced;
  for (const std::string_view frame : tavrik::fuzz::Chunks(stream, pattern)) {
    const tavrik::RenderedReceipt out = renderer.Render(frame, state);
    renderer.Advance(frame, advanced);
    Require(advanced == state);
    Require(out.paper.Width() == kWidth);
    Require(out.paper.Height() <= kRows);
    Require(!out.paper.Truncated() || out.paper.Height() == kRows);
    Require(state.qrData.size() <= tavrik::ReceiptDecoder::kMaxCodeData);
    Require(state.pdfData.size() <= tavrik::ReceiptDecoder::kMaxCodeData);
    RequireBounded(state.downloaded);
    RequireBounded(state.graphics);
  }
  return 0;
}
