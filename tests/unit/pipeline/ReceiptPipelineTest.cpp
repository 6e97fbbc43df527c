#include "pipeline/ReceiptPipeline.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

// Writes down every receipt; may run the pending events while it takes its
// first one, as an output that reconnects from within its delivery does.
class Recorder : public ReceiptListener {
 public:
  void OnReceipt(const ReceiptRecord& r) override {
    lines.push_back(std::to_string(r.sequence) + " " + std::string(r.time) + " " + std::to_string(r.epochMs) +
                    " " + std::to_string(r.utcOffsetMinutes) + " " + (r.cut ? "cut " : "") +
                    std::to_string(r.text->facts.drawerPulses.size()) + " " + r.text->text + "|" +
                    std::string(r.bytes));
    if (lines.size() == 1 && onFirst) onFirst();
  }
  std::vector<std::string> lines;
  std::function<void()> onFirst;
};

class ReceiptPipelineTest : public ::testing::Test {
 protected:
  ReceiptPipelineTest() {
    pipeline.AddListener(first);
    pipeline.AddListener(second);
  }
  void Finish(const std::string& bytes, bool cut = false) { pipeline.OnFrame({bytes, cut}); }
  // What a listener writes down for a receipt finished at the simulated start.
  static std::string Line(const std::string& rest) { return "2026-12-07 12:00:00 1796644800000 " + rest; }

  FakePlatform platform;
  ReceiptPipeline pipeline{platform};
  Recorder first;
  Recorder second;
};

TEST_F(ReceiptPipelineTest, NumbersReceiptsNotFramesAndDecodesEachFrameOnceAcrossFrames) {
  Finish("A\x1b" "E\x01" "B\n\x1dV\x00"s, true);
  Finish("\n  \n\x1b@");  // feeds, blanks, a command: no receipt
  Finish("\x1b" "E");     // a command split across frames: its parameter comes next
  Finish("\x01" "C\n");
  Finish("\x1bp\x00\x32\xfa"s);  // a drawer pulse alone is a receipt
  EXPECT_TRUE(first.lines.empty());  // a moment after the clients' writes
  platform.Advance(ReceiptPipeline::kDelayMs);
  const std::vector<std::string> expected{
      "1 " + Line("0 cut 0 AB\n|A\x1b" "E\x01" "B\n\x1dV\x00"s),
      "2 " + Line("0 0 C\n|\x01" "C\n"),
      "3 " + Line("0 1 |\x1bp\x00\x32\xfa"s),
  };
  EXPECT_EQ(first.lines, expected);
  EXPECT_EQ(second.lines, expected);
}

// The raw bytes are the printer's: never masked.
TEST_F(ReceiptPipelineTest, EveryListenerGetsCardNumbersMaskedUnlessMaskingIsOff) {
  const std::string frame = "Card 4111 1111 1111 1111\n";
  Finish(frame);
  platform.Advance(ReceiptPipeline::kDelayMs);
  pipeline.SetCardNumberMasking(false);
  Finish(frame);
  platform.Advance(ReceiptPipeline::kDelayMs);
  const std::vector<std::string> expected{"1 " + Line("0 0 Card 411111******1111\n|" + frame),
                                          "2 2026-12-07 12:00:00 1796644800002 0 0 " + frame + "|" + frame};
  EXPECT_EQ(first.lines, expected);
  EXPECT_EQ(second.lines, expected);
}

TEST_F(ReceiptPipelineTest, StampsTheMomentTheFrameFinishedOnTheSimulatedClock) {
  platform.SimulatedClock().SetUtcOffsetMinutes(60);
  platform.Advance(1500);
  Finish("x");
  platform.Advance(ReceiptPipeline::kDelayMs);
  EXPECT_EQ(first.lines, std::vector<std::string>{"1 2026-12-07 12:00:01 1796641201500 60 0 x|x"});
}

// Frames finished before the source starts over are decoded in its state;
// the first one after starts from power-on.
TEST_F(ReceiptPipelineTest, ANewStreamResetsTheDecoderAtItsFirstFrameOnly) {
  Finish("\x1bt\x13");  // CP858, where 0xD5 is the euro sign
  Finish("\xd5");
  pipeline.StartNewStream();
  Finish("\xd5");       // CP437 again: a box-drawing character
  platform.Advance(ReceiptPipeline::kDelayMs);
  EXPECT_EQ(first.lines, (std::vector<std::string>{"1 " + Line("0 0 \xE2\x82\xAC|\xd5"),
                                                   "2 " + Line("0 0 \xE2\x95\x92|\xd5")}));
}

TEST_F(ReceiptPipelineTest, ABurstOfFramesOrAFlushDeliversWithoutTheDelay) {
  for (size_t i = 0; i < ReceiptPipeline::kMaxDelayedFrames; ++i) Finish("x");
  EXPECT_TRUE(first.lines.empty());  // never from within the frame's own handler
  platform.RunPosted();
  EXPECT_EQ(first.lines.size(), ReceiptPipeline::kMaxDelayedFrames);
  Finish("last");
  pipeline.Flush();
  ASSERT_EQ(first.lines.size(), ReceiptPipeline::kMaxDelayedFrames + 1);
  EXPECT_TRUE(first.lines.back().ends_with("|last"));
}

// A shutdown (Flush) run among the pending events inside a listener's
// delivery is that delivery: no receipt goes out twice, none is lost.
TEST_F(ReceiptPipelineTest, AFlushInsideAListenersEventRunDeliversNoReceiptTwice) {
  first.onFirst = [&] {
    platform.Loop().Post([&] { pipeline.Flush(); });
    platform.Loop().RunPending();
  };
  for (const char* frame : {"a", "b", "c"}) Finish(frame);
  platform.Advance(ReceiptPipeline::kDelayMs);
  platform.Advance(ReceiptPipeline::kDelayMs);
  ASSERT_EQ(first.lines.size(), 3u);
  EXPECT_EQ(first.lines, second.lines);
  EXPECT_TRUE(first.lines[2].starts_with("3 ") && first.lines[2].ends_with("|c"));
}

}  // namespace
}  // namespace tavrik

namespace tavrik {
namespace {

// Names a rule for each receipt whose text holds an X.
class XMatcher : public ReceiptMatcher {
 public:
  std::span<const std::string_view> Match(const ReceiptRecord& receipt) override {
    seen.push_back(receipt.sequence);
    if (receipt.text->text.find('X') == std::string::npos) return {};
    return names;
  }
  std::vector<uint64_t> seen;
  const std::vector<std::string_view> names{"x rule"};
};

class RuleNames : public ReceiptListener {
 public:
  void OnReceipt(const ReceiptRecord& r) override {
    got.push_back(std::to_string(r.sequence) + ":" + (r.rules.empty() ? "" : std::string(r.rules[0])));
  }
  std::vector<std::string> got;
};

TEST(ReceiptPipelineMatcherTest, TheMatchersNamesReachEveryListenerWithTheirReceipt) {
  FakePlatform platform;
  ReceiptPipeline pipeline{platform};
  RuleNames first;
  RuleNames second;
  XMatcher matcher;
  pipeline.AddListener(first);
  pipeline.SetMatcher(matcher);
  pipeline.AddListener(second);
  pipeline.OnFrame({"A X\n", false});
  pipeline.OnFrame({"\n\n", false});  // no receipt: not matched
  pipeline.OnFrame({"B\n", false});
  platform.Advance(ReceiptPipeline::kDelayMs);
  EXPECT_EQ(matcher.seen, (std::vector<uint64_t>{1, 2}));
  const std::vector<std::string> expected{"1:x rule", "2:"};
  EXPECT_EQ(first.got, expected);
  EXPECT_EQ(second.got, expected);
}

}  // namespace
}  // namespace tavrik
