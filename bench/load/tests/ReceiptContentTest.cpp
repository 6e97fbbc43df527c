#include "load/ReceiptContent.h"

#include <gtest/gtest.h>

#include <string>

#include "load/Receipt.h"
#include "pipeline/RecognitionStage.h"
#include "receipt/ReceiptDecoder.h"

namespace tavrik::load {
namespace {

using Kind = ReceiptContent::Kind;

std::string Build(const ReceiptContent& content, uint64_t seq, size_t size) {
  std::string receipt(size, ' ');
  Receipt::Build(seq, 77, size, content, receipt.data());
  return receipt;
}

// Every kind of receipt survives the check, and a changed byte anywhere in
// it is seen (random places, a fixed seed).
TEST(ReceiptContentTest, EveryKindRoundTripsAndShowsChangedBytes) {
  const ReceiptContent content({ReceiptContent::Text::Realistic, 3, 5});
  const size_t size = Receipt::SmallestSize(Kind::Image) + 100;
  uint64_t state = 12345;
  for (const auto& [seq, kind] : {std::pair<uint64_t, Kind>{1, Kind::Plain}, {3, Kind::Match}, {5, Kind::Image},
                                  {15, Kind::Image}}) {
    ASSERT_EQ(content.KindOf(seq), kind) << seq;
    const std::string receipt = Build(content, seq, size);
    const Receipt::Verdict verdict = Receipt::Check(receipt, size, content);
    EXPECT_EQ(verdict.kind, Receipt::Kind::Intact) << seq << ": " << verdict.reason;
    EXPECT_EQ(verdict.seq, seq);
    EXPECT_EQ(Receipt::PeekSize(receipt.substr(0, Receipt::kHiddenHeaderSize)), size);
    for (int i = 0; i < 300; ++i) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      const size_t at = (state >> 33) % size;
      std::string changed = receipt;
      changed[at] = static_cast<char>(changed[at] ^ (1 << (state >> 20) % 8));
      EXPECT_EQ(Receipt::Check(changed, size, content).kind, Receipt::Kind::Corrupted) << seq << " byte " << at;
    }
    // Checked as another mix would print it: not this receipt.
    EXPECT_EQ(Receipt::Check(receipt, size, ReceiptContent()).kind, Receipt::Kind::Corrupted);
  }
}

// What the relay's decoder makes of them: shop lines, the rules' line, and
// image receipts with an image and no text, which the relay reads.
TEST(ReceiptContentTest, TheRelaySeesShopTextTheMatchLineAndImagesWithoutText) {
  const ReceiptContent content({ReceiptContent::Text::Realistic, 2, 3});
  const size_t size = 4096;
  ReceiptDecoder decoder;
  ReceiptText text;
  decoder.Decode(Build(content, 1, size), text);
  EXPECT_NE(text.text.find("TAVRIK LOAD seq=0000000000000001"), std::string::npos);
  EXPECT_EQ(text.text.find(ReceiptContent::kMatchLine), std::string::npos);
  for (const char c : text.text.substr(text.text.find("ITEMS\n"))) {
    EXPECT_TRUE(c == '\n' || (c >= ' ' && c <= '~')) << static_cast<int>(c);
  }
  EXPECT_FALSE(RecognitionStage::NeedsReading(text));

  decoder.Decode(Build(content, 2, size), text);
  EXPECT_NE(text.text.find(ReceiptContent::kMatchLine), std::string::npos);

  decoder.Decode(Build(content, 3, size), text);
  EXPECT_FALSE(text.facts.visibleText) << text.text;
  ASSERT_EQ(text.facts.rasters.size(), 1u);
  EXPECT_EQ(text.facts.rasters[0].widthDots, ReceiptContent::kImageColumns * 12);
  EXPECT_EQ(text.facts.rasters[0].heightDots, ReceiptContent::kImageLines * 32);
  EXPECT_TRUE(RecognitionStage::NeedsReading(text));
  EXPECT_EQ(ReceiptContent::ImageLine(3, 2), "TOTAL 1.03");
}

}  // namespace
}  // namespace tavrik::load
