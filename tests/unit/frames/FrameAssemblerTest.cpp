#include "frames/FrameAssembler.h"

#include <gtest/gtest.h>

#include <random>

#include "frames/MultipartPart.h"
#include "support/LogCapture.h"

namespace tavrik {
namespace {

const std::string ESC(1, '\x1b');
const std::string GS(1, '\x1d');

class RecordingSink : public PartSink {
 public:
  void Broadcast(const Payload& part) override { parts.emplace_back(part.View()); }
  std::vector<std::string> parts;
};

// The frame text inside a plain-text part.
std::string Body(const std::string& part) {
  const std::string head = std::string(kPlainTextType) + "\r\n\r\n";
  const std::string tail = "\r\n--" + std::string(kMultipartBoundary) + "\r\n";
  EXPECT_EQ(part.substr(0, head.size()), head);
  EXPECT_EQ(part.substr(part.size() - tail.size()), tail);
  return part.substr(head.size(), part.size() - head.size() - tail.size());
}

class FrameAssemblerTest : public ::testing::Test {
 protected:
  std::vector<std::string> Frames() const {
    std::vector<std::string> frames;
    for (const auto& part : sink.parts) frames.push_back(Body(part));
    return frames;
  }
  test::LogCapture log{0};
  RecordingSink sink;
  FrameAssembler cutting{true, false, sink};
};

TEST_F(FrameAssemblerTest, CutAfterEscIKeepsTheCommandAndStartsTheNextFrameWithTheRest) {
  cutting.Append("abc" + ESC + "idef");
  EXPECT_EQ(Frames(), std::vector<std::string>{"abc" + ESC + "i"});
  EXPECT_EQ(cutting.Frame(), "def");
  EXPECT_EQ(log.Messages()[0], "Cut detected.");
}

TEST_F(FrameAssemblerTest, TwoCommandsInOneChunkGiveTwoFramesInOrder) {
  cutting.Append("one" + GS + "Vtwo" + ESC + "ithree");
  EXPECT_EQ(Frames(), (std::vector<std::string>{"one" + GS + "V", "two" + ESC + "i"}));
  EXPECT_EQ(cutting.Frame(), "three");
  EXPECT_EQ(log.Count("Cut detected."), 2u);
}

TEST_F(FrameAssemblerTest, GsVBeforeEscIIsCutFirst) {
  cutting.Append("a" + GS + "Vb" + ESC + "i");
  EXPECT_EQ(Frames(), (std::vector<std::string>{"a" + GS + "V", "b" + ESC + "i"}));
  EXPECT_EQ(cutting.Length(), 0);
}

TEST_F(FrameAssemblerTest, CommandSplitAcrossTwoChunks) {
  cutting.Append("abc" + ESC);
  EXPECT_TRUE(sink.parts.empty());
  cutting.Append("ixyz");
  EXPECT_EQ(Frames(), std::vector<std::string>{"abc" + ESC + "i"});
  EXPECT_EQ(cutting.Frame(), "xyz");

  cutting.Append(GS);
  cutting.Append("V");
  EXPECT_EQ(Frames().back(), "xyz" + GS + "V");
}

TEST_F(FrameAssemblerTest, PrefixNotCompletedIsClearedAndTheChunkIsStillSearched) {
  cutting.Append("a" + ESC);
  cutting.Append("Vb" + GS + "Vc");  // "V" does not complete ESC
  EXPECT_EQ(Frames(), std::vector<std::string>{"a" + ESC + "Vb" + GS + "V"});
  EXPECT_EQ(cutting.Frame(), "c");
  cutting.Append("i");  // the ESC was forgotten
  EXPECT_EQ(cutting.Frame(), "ci");

  cutting.Append(GS);
  cutting.Append("x" + ESC);  // not completed, but itself ends with ESC
  cutting.Append("i");
  EXPECT_EQ(Frames().back(), "ci" + GS + "x" + ESC + "i");
}

TEST_F(FrameAssemblerTest, EmptyChunkChangesNothingNotEvenThePendingPrefix) {
  cutting.Append("a" + GS);
  cutting.Append("");
  EXPECT_EQ(cutting.Length(), 2);
  cutting.Append("V");
  EXPECT_EQ(Frames(), std::vector<std::string>{"a" + GS + "V"});
}

TEST_F(FrameAssemblerTest, ChunkOfExactlyTheCommandLeavesAnEmptyFrame) {
  cutting.Append(ESC + "i");
  EXPECT_EQ(Frames(), std::vector<std::string>{ESC + "i"});
  EXPECT_EQ(cutting.Length(), 0);
}

TEST_F(FrameAssemblerTest, MatchingIsCaseSensitive) {
  cutting.Append(ESC + "I" + GS + "v");
  EXPECT_TRUE(sink.parts.empty());
}

TEST_F(FrameAssemblerTest, WithoutCutDetectionCommandsAreOrdinaryText) {
  FrameAssembler plain(false, false, sink);
  plain.Append("a" + ESC + "ib" + GS);
  plain.Append("V");
  EXPECT_TRUE(sink.parts.empty());
  EXPECT_EQ(plain.Frame(), "a" + ESC + "ib" + GS + "V");
}

TEST_F(FrameAssemblerTest, ChunkOfTenThousandCommandsGivesTenThousandFrames) {
  std::string chunk;
  for (int i = 0; i < 10000; ++i) chunk += std::to_string(i) + GS + "V";
  cutting.Append(chunk);
  ASSERT_EQ(sink.parts.size(), 10000u);
  EXPECT_EQ(Body(sink.parts[9999]), "9999" + GS + "V");
  EXPECT_EQ(cutting.Length(), 0);
}

TEST_F(FrameAssemblerTest, FramesBeyondTheInitialBufferStayWholeAcrossSendAndDrop) {
  const std::string large(2000, 'x');
  cutting.Append(large.substr(0, 700));
  cutting.Append(large.substr(700));
  cutting.SendFrame();
  cutting.Append(std::string(3000, 'y'));
  cutting.DropFrame();
  EXPECT_EQ(cutting.Length(), 0);
  cutting.Append("z");
  cutting.SendFrame();
  EXPECT_EQ(Frames(), (std::vector<std::string>{large, "z"}));
}

TEST_F(FrameAssemblerTest, FramePartAndItsLogLinesByteForByte) {
  FrameAssembler frames(false, false, sink);
  frames.StampStart(43200.5);
  frames.CountChunk(43200.5);
  frames.Append("ABC");
  frames.StampStart(43201);  // not empty: the start stays
  frames.CountChunk(43201);
  frames.Append("DE");
  frames.CountChunk(43201.25);
  frames.SendFrame();
  ASSERT_EQ(sink.parts.size(), 1u);
  const std::string expected =
      "Content-Type: text/plaintext\r\n\r\nABCDE\r\n--ABCDEF12345678\r\n";
  EXPECT_EQ(sink.parts[0], expected);
  EXPECT_EQ(expected.size(), 57u);
  EXPECT_EQ(log.Messages(),
            (std::vector<std::string>{
                "Frame ready: 5 bytes. Frame info (StartTime EndTime EventCount): 43200.5 / 43201.25 / 3",
                "Sending data: 'ABCDE'"}));
  EXPECT_EQ(frames.ChunkCount(), 0);
  EXPECT_EQ(frames.StartTime(), 43200.5);
}

TEST_F(FrameAssemblerTest, EventContentTypeChangesOnlyTheFirstLine) {
  FrameAssembler frames(false, true, sink);
  frames.Append("ABCDE");
  frames.SendFrame();
  EXPECT_EQ(sink.parts[0], "Content-Type: text/x-vexa-event\r\n\r\nABCDE\r\n--ABCDEF12345678\r\n");
}

TEST_F(FrameAssemblerTest, UnsetStartTimeIsReportedAsMinusOneAndEmptyFrameSendsNothing) {
  FrameAssembler frames(false, false, sink);
  for (int i = 0; i < 4; ++i) frames.CountChunk(0);
  frames.SendFrame();
  EXPECT_TRUE(sink.parts.empty());
  EXPECT_EQ(frames.ChunkCount(), 4);
  frames.Append("x");
  frames.SendFrame();
  EXPECT_EQ(log.Messages()[0],
            "Frame ready: 1 bytes. Frame info (StartTime EndTime EventCount): -1 / 0 / 4");
}

TEST_F(FrameAssemblerTest, LogLevelThreeWritesOnlyTheFrameReadyLine) {
  test::LogCapture level3(3);
  FrameAssembler frames(false, false, sink);
  frames.Append("x");
  frames.SendFrame();
  ASSERT_EQ(level3.Messages().size(), 1u);
  EXPECT_EQ(level3.Messages()[0].rfind("Frame ready: ", 0), 0u);
}

TEST_F(FrameAssemblerTest, AllByteValuesAndTheBoundaryItselfPassUnchanged) {
  FrameAssembler frames(false, false, sink);
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  bytes += "--ABCDEF12345678";
  frames.Append(bytes);
  frames.SendFrame();
  EXPECT_EQ(Body(sink.parts[0]), bytes);
}

// Frames must not depend on how the source happened to split the stream.
TEST(FrameAssemblerProperty, FramesAreIndependentOfChunkBoundaries) {
  std::mt19937 random(20261207);
  const std::string alphabet = "ab" + ESC + GS + "iVv";
  for (int round = 0; round < 300; ++round) {
    std::string stream;
    const int length = std::uniform_int_distribution<int>(0, 200)(random);
    for (int i = 0; i < length; ++i)
      stream += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(random)];

    RecordingSink whole;
    FrameAssembler reference(true, false, whole);
    reference.Append(stream);

    RecordingSink split;
    FrameAssembler chunked(true, false, split);
    for (size_t at = 0; at < stream.size();) {
      const size_t n = std::uniform_int_distribution<size_t>(0, 7)(random);
      chunked.Append(std::string_view(stream).substr(at, n));
      at += n;
    }
    ASSERT_EQ(split.parts, whole.parts) << "round " << round;
    ASSERT_EQ(chunked.Frame(), reference.Frame()) << "round " << round;
  }
}

}  // namespace
}  // namespace tavrik

namespace tavrik {
namespace {

class RecordingListener : public FrameListener {
 public:
  void OnFrame(const FrameRecord& frame) override { frames.emplace_back(std::string(frame.bytes), frame.cut); }
  std::vector<std::pair<std::string, bool>> frames;
};

TEST_F(FrameAssemblerTest, ListenerGetsEachFrameAfterTheClientsWithItsCutFlag) {
  RecordingListener listener;
  cutting.SetFrameListener(&listener);
  cutting.Append("one" + GS + "Vtwo");
  cutting.SendFrame();
  cutting.SendFrame();  // empty: nothing
  using Frames = std::vector<std::pair<std::string, bool>>;
  EXPECT_EQ(listener.frames, (Frames{{"one" + GS + "V", true}, {"two", false}}));
  EXPECT_EQ(sink.parts.size(), 2u);
}

}  // namespace
}  // namespace tavrik
