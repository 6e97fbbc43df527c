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

class RecordingListener : public FrameListener {
 public:
  void OnFrame(const FrameRecord& frame) override { frames.emplace_back(std::string(frame.bytes), frame.cut); }
  std::vector<std::pair<std::string, bool>> frames;
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
  cutting.Append("one" + GS + "V" + '\0' + "two" + ESC + "ithree");
  EXPECT_EQ(Frames(), (std::vector<std::string>{"one" + GS + "V" + '\0', "two" + ESC + "i"}));
  EXPECT_EQ(cutting.Frame(), "three");
  EXPECT_EQ(log.Count("Cut detected."), 2u);
}

struct CutForm {
  std::string name;
  std::string command;  // the cut command as the frame ends with it
  std::string next;     // what follows: the next frame begins with it
};

// Every cut form, followed by bytes that must begin the next frame.
const std::vector<CutForm> kCutForms = {
    {"EscI", ESC + "i", "x"},
    {"Mode0", GS + "V" + '\0', "x"},
    {"Mode1", GS + "V\x01", "x"},
    {"Mode48", GS + "V0", "x"},
    {"Mode49", GS + "V1", "x"},
    {"Mode65", GS + "VA\x03", "x"},
    {"Mode66TakesAZeroFeed", GS + "VB" + '\0', "x"},
    {"Mode97TakesAFeedEqualToGs", GS + "Va" + GS, "x"},
    {"Mode98", GS + "Vb\x10", "x"},
    {"Mode103", GS + "Vg\xff", "x"},
    {"Mode104", GS + "Vh\x05", "x"},
    {"OtherModeBeginsTheNextFrame", GS + "V", "\x02x"},
    {"OtherModeMayBeginACut", GS + "V", ESC + "i"},
};

TEST_F(FrameAssemblerTest, EveryCutFormEndsTheFrameBehindItsLastByteHoweverItIsSplit) {
  size_t cuts = 0;
  for (const CutForm& form : kCutForms) {
    const std::string stream = "ab" + form.command + form.next;
    // Split before, inside and right behind the command.
    for (size_t split = 2; split <= 2 + form.command.size(); ++split) {
      RecordingSink parts;
      FrameAssembler frames(true, false, parts);
      frames.Append(stream.substr(0, split));
      // A command cut short waits; a bare GS V waits for the byte that decides.
      const bool complete = split == 2 + form.command.size() && form.command != GS + "V";
      EXPECT_EQ(parts.parts.size(), complete ? 1u : 0u) << form.name << " split at " << split;
      frames.Append(stream.substr(split));
      ASSERT_GE(parts.parts.size(), 1u) << form.name << " split at " << split;
      EXPECT_EQ(Body(parts.parts[0]), "ab" + form.command) << form.name << " split at " << split;
      cuts += parts.parts.size();
    }
  }
  EXPECT_EQ(log.Count("Cut detected."), cuts);
}

TEST_F(FrameAssemblerTest, SilenceForgetsAWaitingCutAndItsLateModeIsOrdinaryData) {
  RecordingListener listener;
  cutting.SetFrameListener(&listener);
  cutting.Append("a" + GS + "V");
  cutting.SendFrame();  // the frame timeout
  cutting.Append(std::string(1, '\0') + "b" + GS + "VA");
  cutting.SendFrame();
  cutting.Append("\x03" "c");
  cutting.SendFrame();
  using Frames = std::vector<std::pair<std::string, bool>>;
  EXPECT_EQ(listener.frames, (Frames{{"a" + GS + "V", false},
                                     {std::string(1, '\0') + "b" + GS + "VA", false},
                                     {"\x03" "c", false}}));
  EXPECT_EQ(log.Count("Cut detected."), 0u);
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int value : values) bytes += static_cast<char>(value);
  return bytes;
}

// Data a printer prints as dots, holding both cut commands.
const std::string kCutsInData = Bytes({0x1d, 0x56, 0x00, 0x1b, 0x69, 0x1d, 0x56, 0x41, 0x1d});

struct DataCase {
  std::string name;
  std::string command;  // a whole data command whose data holds cut commands
};

const std::vector<DataCase> kDataCommands = {
    {"BitImage8Dot", ESC + Bytes({'*', 0, 9, 0}) + kCutsInData},
    {"BitImage24Dot", ESC + Bytes({'*', 33, 3, 0}) + kCutsInData},
    {"RasterImage", GS + Bytes({'v', '0', 0, 3, 0, 3, 0}) + kCutsInData},
    {"RasterImageDigitMode", GS + Bytes({'v', '0', '3', 1, 0, 9, 0}) + kCutsInData},
    {"GraphicsData", GS + Bytes({'(', 'L', 11, 0, 48, 112}) + kCutsInData},
    {"GraphicsDataLong", GS + Bytes({'8', 'L', 9, 0, 0, 0}) + kCutsInData},
    {"DownloadedImage", GS + Bytes({'*', 1, 1}) + Bytes({0x1b, 0x69, 0x1d, 0x56, 0x00, 0x1b, 0x69, 0x1d})},
    {"QrCodeStoreData", GS + Bytes({'(', 'k', 12, 0, 49, 80, 48}) + kCutsInData},
    {"BarcodeCounted", GS + Bytes({'k', 73, 9}) + kCutsInData},
    {"BarcodeUpToNul", GS + Bytes({'k', 4, 0x1b, 'i', '1', 0})},
    {"UserCharacters", ESC + Bytes({'&', 3, 'A', 'B', 2}) + kCutsInData.substr(0, 6) + Bytes({1, 0x1d, 0x56, 0x00})},
    {"KanjiBlock", Bytes({0x1c, '(', 'A', 9, 0}) + kCutsInData},
};

TEST_F(FrameAssemblerTest, CutCommandsInsideACommandsDataDoNotCutWholeOrByteByByte) {
  for (const DataCase& data : kDataCommands) {
    const std::string receipt = "Logo" + data.command + "Total 1.00\n" + GS + "V" + '\0';
    for (const size_t chunkLength : {receipt.size(), size_t{1}}) {
      RecordingSink parts;
      FrameAssembler frames(true, false, parts);
      for (size_t at = 0; at < receipt.size(); at += chunkLength)
        frames.Append(std::string_view(receipt).substr(at, chunkLength));
      ASSERT_EQ(parts.parts.size(), 1u) << data.name << " in chunks of " << chunkLength;
      EXPECT_EQ(Body(parts.parts[0]), receipt) << data.name;
    }
  }
}

// A corrupt header is taken as no data command: the cut right behind it counts.
TEST_F(FrameAssemblerTest, ImplausibleLengthsSwallowNothing) {
  const std::vector<DataCase> bogus = {
      {"BitImageWiderThan4096Dots", ESC + Bytes({'*', 0, 0x01, 0x10})},
      {"BitImageUnknownMode", ESC + Bytes({'*', 2, 9, 0})},
      {"RasterWiderThan4096Dots", GS + Bytes({'v', '0', 0, 0x01, 0x02, 1, 0})},
      {"RasterOverFourMiB", GS + Bytes({'v', '0', 0, 0, 2, 0x01, 0x20})},
      {"RasterWithoutZero", GS + Bytes({'v', '1', 0, 3, 0, 3, 0})},
      {"GraphicsDataOverFourMiB", GS + Bytes({'8', 'L', 0xff, 0xff, 0xff, 0xff})},
      {"BarcodeUnknownSystem", GS + Bytes({'k', 20})},
      {"UserCharactersTooHigh", ESC + Bytes({'&', 9, 'A', 'B'})},
      {"UserCharactersBackwards", ESC + Bytes({'&', 3, 'B', 'A'})},
      {"UserCharacterTooWide", ESC + Bytes({'&', 3, 'A', 'A', 65})},
  };
  for (const DataCase& data : bogus) {
    RecordingSink parts;
    FrameAssembler frames(true, false, parts);
    frames.Append("a" + data.command + GS + "V" + '\0' + "b");
    ASSERT_EQ(parts.parts.size(), 1u) << data.name;
    EXPECT_EQ(frames.Frame(), "b") << data.name;
  }
}

TEST_F(FrameAssemblerTest, LargestLengthsStepOverABoundedAmount) {
  const std::string cut = GS + "V" + '\0';
  const std::vector<std::pair<std::string, size_t>> largest = {
      {GS + Bytes({'(', 'k', 0xff, 0xff}), 65535},
      {GS + Bytes({'8', 'L', 0, 0, 0x40, 0}), 4u << 20},
      {GS + Bytes({'v', '0', 0, 0, 2, 0, 0x20}), 4u << 20},
      {GS + Bytes({'k', 2}), 255},  // no NUL
  };
  for (const auto& [header, length] : largest) {
    RecordingSink parts;
    FrameAssembler frames(true, false, parts);
    frames.Append(header + std::string(length - 1, 'd') + cut);
    EXPECT_EQ(parts.parts.size(), 0u) << length;
    frames.Append(cut);
    EXPECT_EQ(parts.parts.size(), 1u) << length;
  }
}

TEST_F(FrameAssemblerTest, DataSkipOutlivesASilenceButNotANewSource) {
  const std::string raster = GS + Bytes({'v', '0', 0, 10, 0, 1, 0});  // 10 bytes of data
  const std::string cut = GS + "V" + '\0';
  cutting.Append("a" + raster + "dd");
  cutting.SendFrame();  // silence, or a frame at the size limit
  cutting.Append(cut + "ddddd" + cut);
  EXPECT_EQ(Frames(), (std::vector<std::string>{"a" + raster + "dd", cut + "ddddd" + cut}));

  cutting.Append("b" + raster + "dd");
  cutting.ForgetCutPrefix();  // the source was set up again
  cutting.Append(cut);
  EXPECT_EQ(Frames().back(), "b" + raster + "dd" + cut);
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
  for (int i = 0; i < 10000; ++i) chunk += std::to_string(i) + GS + "V" + '\0';
  cutting.Append(chunk);
  ASSERT_EQ(sink.parts.size(), 10000u);
  EXPECT_EQ(Body(sink.parts[9999]), "9999" + GS + "V" + '\0');
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
  const std::string alphabet = "ab" + ESC + GS + "\x1c" + std::string(1, '\0') + "iVvk(*&08LA\x01\x02";
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
