#include "tap/PrinterStatusMonitor.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tavrik::tap {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

const std::string kAskAll = "\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04"s;
const std::string kHealthy = "\x16\x12\x12\x12"s;
const std::string kOutOfPaper = "\x1e\x32\x12\x7e"s;  // offline, paper-end stop, near end + end
const std::string kAutoStatusOn = "\x1d\x61\xff"s;

class PrinterStatusMonitorTest : public ::testing::Test {
 protected:
  Lines Take() { return std::exchange(lines, {}); }
  Lines lines;
  PrinterStatusMonitor monitor{[this](const std::string& line) { lines.push_back(line); }};
};

TEST_F(PrinterStatusMonitorTest, ReportsEachChangeOnceAndNothingForRepeatedAnswers) {
  EXPECT_EQ(monitor.Status().Describe(), "unknown");
  monitor.OnPosBytes(kAskAll);
  EXPECT_EQ(monitor.PendingQueries(), 4u);
  monitor.OnPrinterBytes(kHealthy);
  EXPECT_EQ(Take(), Lines{"Printer status: online"});
  EXPECT_EQ(monitor.Status().Describe(), "online, paper OK");
  monitor.OnPosBytes(kAskAll);
  monitor.OnPrinterBytes(kHealthy);
  EXPECT_EQ(Take(), Lines{});

  monitor.OnPosBytes(kAskAll);
  monitor.OnPrinterBytes(kOutOfPaper);
  EXPECT_EQ(Take(),
            (Lines{"Printer status: offline", "Printer status: printing stopped by paper end",
                   "Printer status: paper near end", "Printer status: paper end"}));
  EXPECT_EQ(monitor.Status().Describe(),
            "offline, paper near end, paper end, printing stopped by paper end");
  monitor.OnPosBytes(kAskAll + kAskAll);
  monitor.OnPrinterBytes(kOutOfPaper + kOutOfPaper);
  EXPECT_EQ(Take(), Lines{});

  monitor.OnPosBytes(kAskAll);
  monitor.OnPrinterBytes(kHealthy);
  EXPECT_EQ(
      Take(),
      (Lines{"Printer status: online", "Printer status: printing stopped by paper end cleared",
             "Printer status: paper near end cleared", "Printer status: paper end cleared"}));
  EXPECT_EQ(monitor.PendingQueries(), 0u);
}

TEST_F(PrinterStatusMonitorTest, ErrorAndCoverBitsMapToTheirFields) {
  monitor.OnPosBytes("\x10\x04\x02\x10\x04\x03"s);
  monitor.OnPrinterBytes("\x56\x7e"s);  // cover open + error; all four error kinds
  EXPECT_EQ(Take(), (Lines{"Printer status: cover open", "Printer status: error",
                           "Printer status: mechanical error", "Printer status: autocutter error",
                           "Printer status: unrecoverable error",
                           "Printer status: auto-recoverable error"}));
  EXPECT_FALSE(monitor.Status().Known(StatusField::Offline));
  EXPECT_FALSE(monitor.Status().Known(StatusField::PaperEnd));
}

TEST_F(PrinterStatusMonitorTest, OtherRepliesInterleavedAndSplitAnywhereDoNotDisturbThePairing) {
  // XON, a GS r answer, a GS I block whose text holds 'R' (0x52, shaped
  // like a DLE EOT answer) and a one-byte printer ID between the answers.
  const std::string printer = "\x11\x16\x00_TAVRIK RELAY\x00\x13\x20\x7e"s;
  const std::string pos = "\x1dI\x43\x10\x04\x01\x1dr\x01\x10\x04\x04"s;
  for (size_t split = 0; split <= printer.size(); ++split) {
    PrinterStatusMonitor splitMonitor{[this](const std::string& line) { lines.push_back(line); }};
    splitMonitor.OnPosBytes(pos.substr(0, split % pos.size()));
    splitMonitor.OnPosBytes(pos.substr(split % pos.size()));
    for (const char c : printer.substr(0, split)) splitMonitor.OnPrinterBytes(std::string(1, c));
    splitMonitor.OnPrinterBytes(printer.substr(split));
    EXPECT_EQ(Take(), (Lines{"Printer status: online", "Printer status: paper near end",
                             "Printer status: paper end"}))
        << "split at " << split;
    EXPECT_EQ(splitMonitor.PendingQueries(), 0u);
  }
}

TEST_F(PrinterStatusMonitorTest, AutomaticStatusBlocksCountOnlyWhileTheyAreOn) {
  const std::string fault = "\x38\x08\x0c\x00"s;  // offline, cover open; cutter; paper end
  monitor.OnPrinterBytes(fault);
  EXPECT_EQ(Take(), Lines{});

  monitor.OnPosBytes(kAutoStatusOn);
  EXPECT_TRUE(monitor.AutoStatusEnabled());
  monitor.OnPrinterBytes(fault.substr(0, 2));
  monitor.OnPrinterBytes(fault.substr(2));
  EXPECT_EQ(Take(), (Lines{"Printer status: offline", "Printer status: cover open",
                           "Printer status: paper end", "Printer status: autocutter error"}));
  monitor.OnPrinterBytes("\x10\x00\x03\x00"s);
  EXPECT_EQ(Take(), (Lines{"Printer status: online", "Printer status: cover open cleared",
                           "Printer status: paper near end", "Printer status: paper end cleared",
                           "Printer status: autocutter error cleared"}));

  // A byte with bit 4 set breaks a block; that byte is then read on its own.
  monitor.OnPosBytes("\x10\x04\x01"s);
  monitor.OnPrinterBytes("\x18\x00\x1e"s);
  EXPECT_EQ(Take(), Lines{"Printer status: offline"});
  EXPECT_EQ(monitor.PendingQueries(), 0u);

  monitor.OnPosBytes("\x1b@"s);
  EXPECT_FALSE(monitor.AutoStatusEnabled());
  monitor.OnPrinterBytes("\x10\x00\x00\x00"s);
  EXPECT_EQ(Take(), Lines{});
}

TEST_F(PrinterStatusMonitorTest, DrawerLevelComesFromEveryDleEot1AnswerAndStatusBlockWithoutALogLine) {
  std::vector<bool> levels;
  monitor.SetDrawerHandler([&](bool pinHigh) { levels.push_back(pinHigh); });
  monitor.OnPosBytes(kAskAll);
  monitor.OnPrinterBytes(kHealthy);  // 0x16: pin 3 high; the other answers carry no drawer
  monitor.OnPosBytes("\x10\x04\x01\x10\x04\x01"s);
  monitor.OnPrinterBytes("\x12\x12"s);  // low, and low again: each answer counts
  monitor.OnPosBytes(kAutoStatusOn);
  monitor.OnPrinterBytes("\x14\x00\x00\x00\x10\x00\x00\x00"s);  // a block: high, then low
  EXPECT_EQ(levels, (std::vector<bool>{true, false, false, true, false}));
  EXPECT_EQ(Take(), Lines{"Printer status: online"});
}

TEST_F(PrinterStatusMonitorTest, UnaskedAnswersAreIgnoredAndWaitingQueriesAreBounded) {
  monitor.OnPrinterBytes("\x1e"s);
  EXPECT_EQ(Take(), Lines{});

  // Ink status is not awaited: receipt printers do not answer it.
  monitor.OnPosBytes("\x10\x04\x07\x01\x10\x04\x01"s);
  EXPECT_EQ(monitor.PendingQueries(), 1u);
  monitor.OnPrinterBytes("\x16"s);
  EXPECT_EQ(Take(), Lines{"Printer status: online"});

  // 70 queries: the 6 oldest (DLE EOT 4) are dropped, so the first answers
  // pair with DLE EOT 1.
  std::string pos;
  for (int i = 0; i < 6; ++i) pos += "\x10\x04\x04"s;
  for (int i = 0; i < 64; ++i) pos += "\x10\x04\x01"s;
  monitor.OnPosBytes(pos);
  EXPECT_EQ(monitor.PendingQueries(), PrinterStatusMonitor::kMaxPendingQueries);
  monitor.OnPrinterBytes("\x7e"s);
  EXPECT_EQ(Take(), Lines{"Printer status: offline"});

  monitor.ForgetPending();
  EXPECT_EQ(monitor.PendingQueries(), 0u);
  monitor.OnPosBytes("\x10\x04"s);
  monitor.ForgetPending();
  monitor.OnPosBytes("\x01"s);  // the cut-off query is not completed by the next connection
  EXPECT_EQ(monitor.PendingQueries(), 0u);
  EXPECT_EQ(monitor.Status().Describe(), "offline");
}

}  // namespace
}  // namespace tavrik::tap
