#include "load/Receipt.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrik::load {
namespace {

const ReceiptContent& Content() {
  static const ReceiptContent content;
  return content;
}

std::string Build(uint64_t seq, int64_t sentNs, size_t size, const ReceiptContent& content = Content()) {
  std::string receipt(size, ' ');
  Receipt::Build(seq, sentNs, size, content, receipt.data());
  return receipt;
}

Receipt::Verdict Check(std::string_view frame, size_t size, const ReceiptContent& content = Content()) {
  return Receipt::Check(frame, size, content);
}

// The frame the relay cuts: the whole receipt, its cut command included.
std::string Frame(const std::string& receipt) { return receipt; }

TEST(ReceiptTest, RoundTripAtEverySize) {
  for (const size_t size : {Receipt::kMinSize, size_t{1024}, size_t{4096}, Receipt::kMaxSize}) {
    const std::string receipt = Build(123456789, 987654321012345, size);
    ASSERT_EQ(receipt.size(), size);
    EXPECT_EQ(receipt.substr(size - 3), std::string("\x1D"
                                                    "V\0",
                                                    3))
        << "ends in a full cut";
    EXPECT_EQ(Receipt::PeekSize(receipt.substr(0, Receipt::kHeaderSize)), size);
    const Receipt::Verdict verdict = Check(Frame(receipt), size);
    EXPECT_EQ(verdict.kind, Receipt::Kind::Intact) << verdict.reason;
    EXPECT_EQ(verdict.seq, 123456789u);
    EXPECT_EQ(verdict.sentNs, 987654321012345);
  }
}

TEST(ReceiptTest, EveryChangedByteIsSeen) {
  const std::string frame = Frame(Build(42, 7, 1024));
  for (size_t at = 0; at < frame.size(); ++at) {
    std::string changed = frame;
    changed[at] = static_cast<char>(changed[at] ^ 0x01);
    const Receipt::Verdict verdict = Check(changed, 1024);
    EXPECT_EQ(verdict.kind, Receipt::Kind::Corrupted) << "byte " << at;
  }
}

TEST(ReceiptTest, LostOrExtraBytesAndWrongSizesAreSeen) {
  const std::string frame = Frame(Build(5, 5, 1024));
  EXPECT_EQ(Check(frame.substr(0, 1000), 1024).kind, Receipt::Kind::Corrupted);
  EXPECT_EQ(Check(frame + "x", 1024).kind, Receipt::Kind::Corrupted);
  EXPECT_EQ(Check(frame, 1000).kind, Receipt::Kind::Corrupted);
  EXPECT_EQ(Check(std::string(1, '\0') + frame, 1024).kind, Receipt::Kind::Corrupted);
  EXPECT_EQ(Check(frame.substr(0, 1023), 1024).kind, Receipt::Kind::Corrupted);
  EXPECT_EQ(Receipt::PeekSize("garbage"), 0u);
  EXPECT_EQ(Receipt::PeekSize(std::string(Receipt::kHeaderSize, 'x')), 0u);
}

TEST(ReceiptTest, OnlyTheLastCutAndNoBoundaryInside) {
  const std::string pool = ReceiptContent::RandomPool();
  EXPECT_EQ(pool.find('\x1D'), std::string::npos);
  EXPECT_EQ(pool.find('\x1B'), std::string::npos);
  EXPECT_EQ(pool.find('\x1C'), std::string::npos);
  EXPECT_EQ(pool.find('-'), std::string::npos);
  EXPECT_NE(pool.find('\0'), std::string::npos) << "NUL travels in the filler";
  EXPECT_NE(pool.find('\xFF'), std::string::npos) << "so do bytes above 0x7F";
  for (uint64_t seq = 1; seq < 200; ++seq) {
    const std::string receipt = Build(seq, 1, 700);
    EXPECT_EQ(receipt.find("\x1B"
                           "i"),
              std::string::npos);
    EXPECT_EQ(receipt.find("\x1D"
                           "V"),
              700u - 3);
    EXPECT_EQ(receipt.find("--"), std::string::npos);
  }
}

TEST(ReceiptTest, AReceiptWithAnotherOnesFillerIsSeen) {
  std::string frame = Frame(Build(7, 1, 1024));
  const std::string other = Frame(Build(8, 1, 1024));
  frame.replace(200, 600, other, 200, 600);
  EXPECT_EQ(Check(frame, 1024).kind, Receipt::Kind::Corrupted);
}

TEST(ReceiptTest, ReceiptsDifferInTheirFiller) {
  const std::string a = Build(1, 0, 1024);
  const std::string b = Build(2, 0, 1024);
  EXPECT_NE(a.substr(120, 800), b.substr(120, 800));
}

}  // namespace
}  // namespace tavrik::load
