#include "pictures/ReceiptPictures.h"

#include <gtest/gtest.h>

#include <string>

#include "png/PngWriter.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

ReceiptRecord Record(uint64_t sequence, const std::string& bytes) {
  static const ReceiptText text;
  ReceiptRecord record;
  record.sequence = sequence;
  record.bytes = bytes;
  record.text = &text;
  return record;
}

std::string Png(const std::string& bytes, PrinterState state) {
  std::string png;
  PngWriter::Write(ReceiptRenderer({}).Render(bytes, state).paper, png);
  return png;
}

// Receipt 1 leaves the printer centring in CP858; every later receipt is
// drawn from that state, whether receipt 1 is still held or long let go.
TEST(ReceiptPicturesTest, DrawsEachHeldReceiptFromTheStateTheEarlierOnesLeft) {
  ReceiptPictures pictures({}, true);
  const std::string first = "\x1b@\x1bt\x13\x1b" "a\x01" "First\n"s;
  const std::string later = "Caf\x82 \xd5 2.50\n"s;
  PrinterState state;
  ReceiptRenderer({}).Advance(first, state);
  const std::string expected = Png(later, state);
  ASSERT_NE(expected, Png(later, PrinterState{}));

  pictures.OnReceipt(Record(1, first));
  std::string png;
  for (uint64_t sequence = 2; sequence <= 120; ++sequence) {
    const std::string bytes = later;
    pictures.OnReceipt(Record(sequence, bytes));
    if (sequence == 2 || sequence == 120) {
      ASSERT_TRUE(pictures.PictureOf(sequence, png)) << sequence;
      EXPECT_EQ(png, expected) << sequence;
    }
  }
  EXPECT_TRUE(pictures.PictureOf(120 - ReceiptPictures::kHeldReceipts + 1, png));
  EXPECT_FALSE(pictures.PictureOf(120 - ReceiptPictures::kHeldReceipts, png));  // let go
  EXPECT_FALSE(pictures.PictureOf(121, png));                                   // not yet
  EXPECT_FALSE(pictures.PictureOf(0, png));
}

// The picture is drawn from the printer's bytes, which masking leaves alone.
TEST(ReceiptPicturesTest, WithholdsReceiptsWithACardNumberWhileMasking) {
  const std::string card = "VISA 4111 1111 1111 1111\n"s;
  std::string png;
  ReceiptPictures masking({}, true);
  masking.OnReceipt(Record(1, card));
  EXPECT_FALSE(masking.PictureOf(1, png));
  ReceiptPictures plain({}, false);
  plain.OnReceipt(Record(1, card));
  EXPECT_TRUE(plain.PictureOf(1, png));
  EXPECT_EQ(png, Png(card, PrinterState{}));
}

// Painted as they come (for the outputs), the receipts get the pictures the
// web port would draw when asked, and the web port gives those same ones;
// a receipt with a card number gets none while masking.
TEST(ReceiptPicturesTest, PaintsEachReceiptAsTheWebPortWouldDrawIt) {
  const std::string receipts[] = {"\x1b@\x1bt\x13\x1b" "a\x01" "First\n"s, "Caf\x82 \xd5 2.50\n"s,
                                  "VISA 4111 1111 1111 1111\n"s, "\x1b!\x30" "BIG\n"s};
  ReceiptPictures asked({}, true);
  ReceiptPictures painted({}, true);
  std::string png;
  uint64_t sequence = 0;
  for (const std::string& bytes : receipts) {
    ReceiptRecord record = Record(++sequence, bytes);
    asked.OnReceipt(record);
    record.png = painted.Paint(record);
    const std::string paint(record.png);
    painted.OnReceipt(record);
    const bool drawn = asked.PictureOf(sequence, png);
    EXPECT_EQ(drawn, !paint.empty()) << sequence;
    EXPECT_EQ(paint, drawn ? png : "") << sequence;
    std::string again;  // the web port's, painted once
    EXPECT_EQ(painted.PictureOf(sequence, again), drawn) << sequence;
    EXPECT_EQ(again, paint) << sequence;
  }
  EXPECT_FALSE(painted.PictureOf(3, png));  // the card number's
}

}  // namespace
}  // namespace tavrik
