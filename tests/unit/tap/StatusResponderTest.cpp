#include "tap/StatusResponder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrik::tap {
namespace {

using namespace std::string_literals;

struct Exchange {
  std::string query;
  std::string reply;
};

const std::vector<Exchange> kExchanges = {
    {"\x10\x04\x01"s, "\x16"s},
    {"\x10\x04\x02"s, "\x12"s},
    {"\x10\x04\x03"s, "\x12"s},
    {"\x10\x04\x04"s, "\x12"s},
    {"\x1dr\x01"s, "\x00"s},
    {"\x1dr1"s, "\x00"s},
    {"\x1dr\x02"s, "\x00"s},
    {"\x1dr2"s, "\x00"s},
    {"\x1d\x61\xff"s, "\x10\x00\x00\x00"s},
    {"\x1dI\x01"s, "\x20"s},
    {"\x1dI1"s, "\x20"s},
    {"\x1dI\x02"s, "\x02"s},
    {"\x1dI2"s, "\x02"s},
    {"\x1dI\x03"s, "\x64"s},
    {"\x1dI3"s, "\x64"s},
    {"\x1dI\x41"s, "_1.00\x00"s},
    {"\x1dI\x42"s, "_TAVRIK\x00"s},
    {"\x1dI\x43"s, "_TAVRIK RELAY\x00"s},
    {"\x1dI\x44"s, "_00000001\x00"s},
    {"\x1dI\x45"s, "_ANK\x00"s},
};

std::string Replies(StatusResponder& responder, const std::vector<std::string>& chunks) {
  std::string replies;
  for (const std::string& chunk : chunks) responder.Scan(chunk, replies);
  return replies;
}

TEST(StatusResponderTest, EveryQueryIsAnsweredWhereverTheStreamIsSplit) {
  for (const Exchange& exchange : kExchanges) {
    const std::string stream = "text" + exchange.query + "more\n";
    for (size_t split = 0; split <= stream.size(); ++split) {
      StatusResponder responder;
      EXPECT_EQ(Replies(responder, {stream.substr(0, split), stream.substr(split)}), exchange.reply)
          << testing::PrintToString(exchange.query) << " split at " << split;
    }
    StatusResponder bytewise;
    std::string replies;
    for (const char c : stream) bytewise.Scan(std::string(1, c), replies);
    EXPECT_EQ(replies, exchange.reply) << testing::PrintToString(exchange.query) << " byte by byte";
  }
}

TEST(StatusResponderTest, QueriesInOneChunkAreAnsweredInOrderAppendedToTheReplies) {
  std::string stream;
  std::string expected;
  for (const Exchange& exchange : kExchanges) {
    stream += exchange.query;
    expected += exchange.reply;
  }
  StatusResponder responder;
  std::string replies = "kept";
  responder.Scan(stream, replies);
  EXPECT_EQ(replies, "kept" + expected);
}

TEST(StatusResponderTest, DleEotIsAnsweredInsideOtherCommandsData) {
  StatusResponder responder;
  // Inside bit-image data, and as the parameter of GS r: the printer acts on
  // the real-time command, the GS r parameter (0x10) asks for nothing.
  EXPECT_EQ(Replies(responder, {"\x1b*\x00\x04\x00\xff\x10\x04\x02\xff"s}), "\x12");
  EXPECT_EQ(Replies(responder, {"\x1dr\x10\x04\x01"s}), "\x16");
  // A parameter byte never starts a command: GS I GS r 1 is GS I 0x1D, then text.
  EXPECT_EQ(Replies(responder, {"\x1dI\x1dr\x01"s}), "");
}

TEST(StatusResponderTest, ParametersOutOfRangeAreIgnoredAndDoNotHideTheNextQuery) {
  StatusResponder responder;
  EXPECT_EQ(Replies(responder, {"\x10\x04\x00\x10\x04\x05\x10\x04\x31"s}), "");
  EXPECT_EQ(Replies(responder, {"\x1dr\x03\x1dr0\x1dI\x00\x1dI\x04\x1dI@\x1dIF\x1dIo"s}), "");
  // DLE EOT 7 a (ink status) is taken but not answered; a bad a is no parameter.
  EXPECT_EQ(Replies(responder, {"\x10\x04\x07\x01\x10\x04\x07\x02"s}), "");
  EXPECT_EQ(Replies(responder, {"\x10\x04\x07\x10\x04\x01"s}), "\x16");
  // An interrupted prefix restarts on its last byte.
  EXPECT_EQ(Replies(responder, {"\x10\x10\x04\x03\x1b\x1d\x1dI\x02"s}), "\x12\x02");
}

TEST(StatusResponderTest, AutomaticStatusIsSwitchedOnByGsAAndOffByGsA0OrEscAt) {
  StatusResponder responder;
  EXPECT_FALSE(responder.AutoStatusEnabled());
  EXPECT_EQ(Replies(responder, {"\x1d\x61\x01"s}), "\x10\x00\x00\x00"s);
  EXPECT_TRUE(responder.AutoStatusEnabled());
  EXPECT_EQ(Replies(responder, {"\x1d\x61\x00"s}), "");
  EXPECT_FALSE(responder.AutoStatusEnabled());

  EXPECT_EQ(Replies(responder, {"\x1d\x61"s, "\x0f"s}), "\x10\x00\x00\x00"s);
  EXPECT_EQ(Replies(responder, {"\x1b"s, "@"s}), "");
  EXPECT_FALSE(responder.AutoStatusEnabled());
}

}  // namespace
}  // namespace tavrik::tap
