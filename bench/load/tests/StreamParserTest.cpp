#include "load/StreamParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "load/Receipt.h"

namespace tavrik::load {
namespace {

constexpr size_t kSize = 300;

struct Seen {
  StreamParser::PartKind kind;
  std::string body;
};

const ReceiptContent& Pool() {
  static const ReceiptContent content;
  return content;
}

std::string MakeReceipt(uint64_t seq) {
  std::string receipt(kSize, ' ');
  Receipt::Build(seq, 1000 + static_cast<int64_t>(seq), kSize, Pool(), receipt.data());
  return receipt;
}

std::string FramePart(const std::string& body) {
  return std::string(StreamParser::kFrameHeader) + body + std::string(StreamParser::kPartEnd);
}

std::string KeepAlivePart() {
  return std::string(StreamParser::kKeepAliveHeader) + "2026-01-02 03:04:05" +
         std::string(StreamParser::kPartEnd);
}

// What the relay sends for receipts 1..3 with cut detection: each frame is
// one whole receipt, its cut command included.
std::string RelayStream() {
  return std::string(StreamParser::kHead) + FramePart(MakeReceipt(1)) + KeepAlivePart() +
         FramePart(MakeReceipt(2)) + FramePart(MakeReceipt(3));
}

// Feeds text in the given pieces; returns false on the first protocol error.
bool Feed(StreamParser& parser, const std::string& text, const std::vector<size_t>& cuts,
          std::vector<Seen>& seen) {
  const StreamParser::PartHandler onPart = [&](StreamParser::PartKind kind, std::string_view body) {
    seen.push_back({kind, std::string(body)});
  };
  size_t from = 0;
  std::vector<size_t> ends = cuts;
  ends.push_back(text.size());
  for (const size_t end : ends) {
    while (from < end) {
      const std::span<char> space = parser.Space();
      const size_t n = std::min(space.size(), end - from);
      std::memcpy(space.data(), text.data() + from, n);
      from += n;
      if (!parser.Commit(n, onPart)) return false;
    }
  }
  return true;
}

void ExpectRelayParts(const std::vector<Seen>& seen) {
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[1].kind, StreamParser::PartKind::KeepAlive);
  EXPECT_EQ(seen[1].body, "2026-01-02 03:04:05");
  const size_t frames[] = {0, 2, 3};
  for (size_t i = 0; i < 3; ++i) {
    const Seen& part = seen[frames[i]];
    EXPECT_EQ(part.kind, StreamParser::PartKind::Frame);
    const Receipt::Verdict verdict = Receipt::Check(part.body, kSize, Pool());
    EXPECT_EQ(verdict.kind, Receipt::Kind::Intact) << verdict.reason;
    EXPECT_EQ(verdict.seq, i + 1);
  }
}

TEST(StreamParserTest, PartsDoNotDependOnWhereTheStreamIsSplit) {
  const std::string stream = RelayStream();
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    StreamParser parser(StreamParser::Mode::Multipart);
    std::vector<Seen> seen;
    ASSERT_TRUE(Feed(parser, stream, {cut}, seen)) << "cut at " << cut << ": " << parser.Error();
    ExpectRelayParts(seen);
    EXPECT_EQ(parser.Buffered(), 0u);
  }
}

TEST(StreamParserTest, ByteByByteAndInOneGo) {
  const std::string stream = RelayStream();
  std::vector<size_t> everyByte(stream.size());
  for (size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = i;
  StreamParser slow(StreamParser::Mode::Multipart);
  std::vector<Seen> seen;
  ASSERT_TRUE(Feed(slow, stream, everyByte, seen)) << slow.Error();
  ExpectRelayParts(seen);
  seen.clear();
  StreamParser fast(StreamParser::Mode::Multipart);
  ASSERT_TRUE(Feed(fast, stream, {}, seen)) << fast.Error();
  ExpectRelayParts(seen);
}

TEST(StreamParserTest, ManyPartsBeyondTheFirstBuffer) {
  std::string stream(StreamParser::kHead);
  for (uint64_t seq = 1; seq <= 3000; ++seq)
    stream += FramePart(MakeReceipt(seq));
  StreamParser parser(StreamParser::Mode::Multipart);
  std::vector<Seen> seen;
  ASSERT_TRUE(Feed(parser, stream, {777, 100000, 100001, 500000}, seen)) << parser.Error();
  ASSERT_EQ(seen.size(), 3000u);
  EXPECT_EQ(Receipt::Check(seen.back().body, kSize, Pool()).seq, 3000u);
}

TEST(StreamParserTest, WrongHeadIsAProtocolError) {
  std::string stream = RelayStream();
  stream[9] = '4';  // "HTTP/1.0 400"
  StreamParser parser(StreamParser::Mode::Multipart);
  std::vector<Seen> seen;
  EXPECT_FALSE(Feed(parser, stream, {5, 12}, seen));
  EXPECT_NE(parser.Error().find("response head"), std::string::npos);
  EXPECT_FALSE(parser.HeadSeen());
}

TEST(StreamParserTest, UnknownPartHeaderIsAProtocolError) {
  const std::string stream = std::string(StreamParser::kHead) + "Content-Type: text/html\r\n\r\nx" +
                             std::string(StreamParser::kPartEnd);
  for (const size_t cut : {size_t{102}, size_t{110}, size_t{120}}) {
    StreamParser parser(StreamParser::Mode::Multipart);
    std::vector<Seen> seen;
    EXPECT_FALSE(Feed(parser, stream, {cut}, seen)) << "cut at " << cut;
    EXPECT_NE(parser.Error().find("part header"), std::string::npos);
  }
}

TEST(StreamParserTest, CorruptedReceiptIsStillFramedAndThenFailsItsCheck) {
  std::string corrupted = MakeReceipt(7);
  corrupted[150] = static_cast<char>(corrupted[150] ^ 0x20);
  std::string shortened = MakeReceipt(8);
  shortened.erase(200, 10);  // ten bytes lost: the size field now lies
  const std::string stream = std::string(StreamParser::kHead) + FramePart(corrupted) +
                             FramePart(shortened) + FramePart(MakeReceipt(9));
  StreamParser parser(StreamParser::Mode::Multipart);
  std::vector<Seen> seen;
  ASSERT_TRUE(Feed(parser, stream, {}, seen)) << parser.Error();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_STREQ(Receipt::Check(seen[0].body, kSize, Pool()).reason, "filler differs");
  EXPECT_STREQ(Receipt::Check(seen[1].body, kSize, Pool()).reason, "wrong length");
  EXPECT_EQ(Receipt::Check(seen[2].body, kSize, Pool()).kind, Receipt::Kind::Intact);
}

TEST(StreamParserTest, PartWithoutBoundaryLineEndsTheStream) {
  const std::string stream = std::string(StreamParser::kHead) +
                             std::string(StreamParser::kKeepAliveHeader) +
                             std::string(StreamParser::kMaxPart + 10, 'x');
  StreamParser parser(StreamParser::Mode::Multipart);
  std::vector<Seen> seen;
  EXPECT_FALSE(Feed(parser, stream, {}, seen));
  EXPECT_NE(parser.Error().find("no boundary line"), std::string::npos);
}

TEST(StreamParserTest, RawModeChecksTheHeadAndCountsTheRest) {
  const std::string stream = std::string(StreamParser::kHead) + std::string(5000, '\0') + "tail";
  for (const size_t cut : {size_t{0}, size_t{50}, size_t{102}, size_t{103}, size_t{4000}}) {
    StreamParser parser(StreamParser::Mode::Raw);
    std::vector<Seen> seen;
    ASSERT_TRUE(Feed(parser, stream, {cut}, seen));
    EXPECT_TRUE(parser.HeadSeen());
    EXPECT_EQ(parser.RawBytes(), 5004u);
    EXPECT_TRUE(seen.empty());
  }
  StreamParser wrong(StreamParser::Mode::Raw);
  std::vector<Seen> seen;
  EXPECT_FALSE(Feed(wrong, "HTTP/1.1 200 OK\r\n", {}, seen));
}

}  // namespace
}  // namespace tavrik::load
