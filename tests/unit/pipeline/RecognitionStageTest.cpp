#include "pipeline/RecognitionStage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline/ReceiptPipeline.h"
#include "platform/fake/FakePlatform.h"
#include "support/LogCapture.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

// Reads every page as "READ <height>", or fails to start, like a missing
// language's data.
class ScriptedRecognizer : public TextRecognizer {
 public:
  explicit ScriptedRecognizer(bool starts = true) : starts_(starts) {}
  std::string Recognize(const PageImage& page, std::string& problem) override {
    if (!starts_) {
      problem = "cannot load the language data";
      return "";
    }
    return "READ " + std::to_string(page.height) + " CARD 4111 1111 1111 1111";
  }

 private:
  bool starts_;
};

class Seen : public ReceiptListener {
 public:
  void OnReceipt(const ReceiptRecord& r) override {
    lines.push_back(std::to_string(r.sequence) + (r.recognized ? " ocr " : " ") + r.text->text);
    if (onEach) onEach();
  }
  std::vector<std::string> lines;
  std::function<void()> onEach;
};

// A GS v 0 image of `rows` rows, 8 dots wide.
std::string Image(int rows) { return "\x1dv0\x00\x01\x00"s + static_cast<char>(rows) + '\x00' + std::string(rows, '\x80'); }

class RecognitionStageTest : public ::testing::Test {
 protected:
  void Start(bool starts = true) {
    pipeline.AddListener(seen);
    pipeline.EnableTextRecognition(std::make_unique<ScriptedRecognizer>(starts));
    worker = platform.Workers().back();
  }
  void Finish(const std::string& bytes) {
    pipeline.OnFrame({bytes, true});
    platform.Advance(ReceiptPipeline::kDelayMs);
  }

  test::LogCapture log;
  FakePlatform platform;
  ReceiptPipeline pipeline{platform};
  Seen seen;
  FakeBackgroundWorker* worker = nullptr;
};

// Image receipts get their text from the reader, masked, on a worker behind
// the clients' fan-out; the receipts after one wait for it, so every
// listener sees them in sequence order.
TEST_F(RecognitionStageTest, ReadsImageReceiptsAndKeepsSequenceOrder) {
  Start();
  EXPECT_EQ(worker->Priority(), WorkerPriority::kIdle) << "the clients first, and a page that waits may be skipped";
  worker->Hold();
  Finish(Image(3));
  Finish("PLAIN TEXT RECEIPT\n");
  Finish("LOGO" + Image(5));  // next to no text: read too
  EXPECT_TRUE(seen.lines.empty());
  worker->Release();
  platform.RunPosted();
  EXPECT_EQ(seen.lines, (std::vector<std::string>{"1 ocr READ 3 CARD 411111******1111\n", "2 PLAIN TEXT RECEIPT\n",
                                                  "3 ocr READ 5 CARD 411111******1111\n"}));
  EXPECT_EQ(pipeline.RecognitionCounts().read, 2u);
  Finish("MORE TEXT, NO WAIT\n");
  EXPECT_EQ(seen.lines.back(), "4 MORE TEXT, NO WAIT\n");
}

// Once a page is read, the receipts that waited pass one per turn of the
// loop: what the loop has to do meanwhile (a frame's sends) runs between them.
TEST_F(RecognitionStageTest, WaitingReceiptsPassOnePerTurnOfTheLoop) {
  Start();
  std::vector<size_t> seenByOtherWork;
  seen.onEach = [this, &seenByOtherWork] {
    platform.Loop().Post([this, &seenByOtherWork] { seenByOtherWork.push_back(seen.lines.size()); });
  };
  worker->Hold();
  Finish(Image(3));
  Finish("SECOND\n");
  Finish("THIRD\n");
  worker->Release();
  platform.RunPosted();
  EXPECT_EQ(seen.lines.size(), 3u);
  EXPECT_EQ(seenByOtherWork, (std::vector<size_t>{1, 2, 3}));
}

// Beyond kMaxReading pages a receipt passes as it is (in its turn); a
// shutdown passes the waiting ones at once; a listener that runs pending
// events while it takes a receipt changes nothing in the order.
TEST_F(RecognitionStageTest, BoundsFlushAndNestedRuns) {
  Start();
  seen.onEach = [this] { platform.Loop().RunPending(); };
  worker->Hold();
  for (size_t i = 0; i < RecognitionStage::kMaxReading + 1; ++i) Finish(Image(2));
  EXPECT_EQ(pipeline.RecognitionCounts().skipped, 1u);
  worker->Release();
  platform.RunPosted();
  ASSERT_EQ(seen.lines.size(), RecognitionStage::kMaxReading + 1);
  for (size_t i = 0; i < RecognitionStage::kMaxReading; ++i) EXPECT_EQ(seen.lines[i].substr(0, 8), std::to_string(i + 1) + " ocr RE");
  EXPECT_EQ(seen.lines.back(), std::to_string(RecognitionStage::kMaxReading + 1) + " ");

  worker->Hold();
  Finish(Image(2));
  Finish("AFTER IT\n");
  pipeline.Flush();
  EXPECT_EQ(seen.lines.size(), RecognitionStage::kMaxReading + 3);
  EXPECT_EQ(pipeline.RecognitionCounts().skipped, 2u);
  worker->Release();
  platform.RunPosted();  // the late text finds no receipt
  EXPECT_EQ(seen.lines.size(), RecognitionStage::kMaxReading + 3);
}

TEST_F(RecognitionStageTest, AReaderThatCannotStartIsLoggedOnceAndReceiptsGoOn) {
  Start(false);
  Finish(Image(2));
  Finish(Image(2));
  platform.RunPosted();
  EXPECT_EQ(seen.lines, (std::vector<std::string>{"1 ", "2 "}));
  EXPECT_EQ(log.Count("Text recognition: cannot load the language data."), 1u);
}

}  // namespace
}  // namespace tavrik
