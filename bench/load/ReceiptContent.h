#pragma once
// What a load receipt prints between its header and its sum line (see
// Receipt.h). By default every receipt prints the same few commands and
// filler bytes of every value; the options make the receipts cost what a
// shop's cost the relay's consumers:
//
// - realistic text: the filler is cut from receipt-like lines of a fixed
//   vocabulary (items, amounts, totals), so a full-text index meets few
//   distinct words, as it does in a shop;
// - every matchEvery-th receipt prints kMatchLine, which rules can look for;
// - every imageEvery-th receipt prints nothing but a GS v 0 raster of a few
//   item lines drawn in the printer's 12 x 24 font: its header and filler go
//   inside a block the printer does not print (FS ( A), so the relay finds
//   images and no text, as from a till that prints its receipts as images.
//   An image receipt never carries kMatchLine.
//
// The bytes of the decor are covered by the receipt's checksum; only their
// length must be known to check a receipt, and it depends on the kind alone.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrik::load {

enum class FillerText { Random, Realistic };

// The options above; the default prints as the tool always did.
struct ReceiptMix {
  FillerText text = FillerText::Random;
  uint64_t matchEvery = 0;  // 0: none
  uint64_t imageEvery = 0;  // 0: none
};

class ReceiptContent {
 public:
  using Text = FillerText;
  using Mix = ReceiptMix;
  enum class Kind { Plain, Match, Image };

  static constexpr std::string_view kMatchLine = "REFUND 12.50\n";
  static constexpr size_t kImageLines = 3;
  static constexpr size_t kImageColumns = 16;  // characters per image line

  explicit ReceiptContent(Mix mix = {});

  Kind KindOf(uint64_t seq) const;
  // The bytes the filler is cut from; the same for every run of one mix.
  std::string_view Pool() const { return pool_; }
  // The decor's length for a receipt of this kind.
  static size_t DecorSize(Kind kind);
  // Writes the decor of receipt seq (DecorSize bytes). For an image, the
  // decor ends by opening the unprinted block that holds the filler and the
  // sum line: blockBytes is its length.
  void WriteDecor(uint64_t seq, size_t blockBytes, char* out) const;
  // The text lines an image receipt draws (each at most kImageColumns).
  static std::string ImageLine(uint64_t seq, size_t line);

  static std::string RandomPool();
  static std::string RealisticPool();

 private:
  Mix mix_;
  std::string pool_;
};

}  // namespace tavrik::load
