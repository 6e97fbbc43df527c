#include "startup/CommandLine.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controller/Settings.h"
#include "startup/StartupLine.h"

namespace tavrik {
namespace {

using Pieces = std::vector<std::string>;

// ---- SplitString ------------------------------------------------------------

TEST(SplitString, ElementZeroIsAlwaysEmpty) {
  EXPECT_EQ(SplitString("", "-"), Pieces{""});
  EXPECT_EQ(SplitString("abc", "-"), (Pieces{"", "abc"}));
  EXPECT_EQ(SplitString("a-b", "-"), (Pieces{"", "a", "b"}));
}

TEST(SplitString, SeparatorAtStartAndAdjacentSeparatorsGiveEmptyElements) {
  EXPECT_EQ(SplitString("-p 1", "-"), (Pieces{"", "", "p 1"}));
  EXPECT_EQ(SplitString("a--b", "-"), (Pieces{"", "a", "", "b"}));
  EXPECT_EQ(SplitString("--", "-"), (Pieces{"", "", ""}));
}

TEST(SplitString, SeparatorAtEndGivesNoEmptyLastElement) {
  EXPECT_EQ(SplitString("a-", "-"), (Pieces{"", "a"}));
  EXPECT_EQ(SplitString("-", "-"), (Pieces{"", ""}));
}

TEST(SplitString, MultiCharacterSeparatorIsMatchedExactlyAndCaseSensitive) {
  EXPECT_EQ(SplitString("aXYbxyc", "XY"), (Pieces{"", "a", "bxyc"}));
  EXPECT_EQ(SplitString("aaa", "aa"), (Pieces{"", "", "a"}));
}

TEST(SplitString, EmptySeparatorNeverMatches) {
  EXPECT_EQ(SplitString("a-b", ""), (Pieces{"", "a-b"}));
}

TEST(SplitString, BytesPassUnchanged) {
  const std::string text("a\0\xff-\x80 ", 6);
  EXPECT_EQ(SplitString(text, "-"), (Pieces{"", std::string("a\0\xff", 3), "\x80 "}));
}

// Joining the pieces again gives the text without one trailing separator.
TEST(SplitString, PiecesJoinBackToTheText) {
  std::mt19937 random(20240611);
  const std::string alphabet = "ab-";
  for (int iteration = 0; iteration < 2000; ++iteration) {
    std::string text;
    const size_t length = random() % 12;
    for (size_t k = 0; k < length; ++k) text += alphabet[random() % alphabet.size()];
    const Pieces pieces = SplitString(text, "-");
    ASSERT_FALSE(pieces.empty());
    ASSERT_EQ(pieces[0], "");
    std::string joined;
    for (size_t k = 1; k < pieces.size(); ++k) joined += (k > 1 ? "-" : "") + pieces[k];
    std::string expected = text;
    if (!expected.empty() && expected.back() == '-') expected.pop_back();
    EXPECT_EQ(joined, expected) << "text: " << text;
  }
}

// ---- ParseRangedInt ---------------------------------------------------------

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

int32_t Parse(const std::string& text) {
  return ParseRangedInt(text, kMin, kMax, 77);
}

TEST(ParseRangedInt, AcceptsDecimalNotations) {
  EXPECT_EQ(Parse("0"), 0);
  EXPECT_EQ(Parse("12"), 12);
  EXPECT_EQ(Parse("+12"), 12);
  EXPECT_EQ(Parse("-3"), -3);
  EXPECT_EQ(Parse("007"), 7);
  EXPECT_EQ(Parse("-0"), 0);
  EXPECT_EQ(Parse("5."), 5);
  EXPECT_EQ(Parse(".5"), 0);
  EXPECT_EQ(Parse("+.9"), 1);
  EXPECT_EQ(Parse("1e3"), 1000);
  EXPECT_EQ(Parse("1E3"), 1000);
  EXPECT_EQ(Parse("1.5e+2"), 150);
  EXPECT_EQ(Parse("25e-1"), 2);
  EXPECT_EQ(Parse("35e-1"), 4);
  EXPECT_EQ(Parse("5.e1"), 50);
  EXPECT_EQ(Parse("0e999999999999999999"), 0);
}

TEST(ParseRangedInt, RoundsHalfToEven) {
  EXPECT_EQ(Parse("8000.5"), 8000);
  EXPECT_EQ(Parse("8001.5"), 8002);
  EXPECT_EQ(Parse("0.5"), 0);
  EXPECT_EQ(Parse("1.5"), 2);
  EXPECT_EQ(Parse("-2.5"), -2);
  EXPECT_EQ(Parse("-3.5"), -4);
  EXPECT_EQ(Parse("-0.5"), 0);
  EXPECT_EQ(Parse("2.49999999"), 2);
  EXPECT_EQ(Parse("2.51"), 3);
  EXPECT_EQ(Parse("2.5000"), 2);
  // Exact decimal arithmetic: a double would read this as 8000.5 and round down.
  EXPECT_EQ(Parse("8000.50000000000000000001"), 8001);
  EXPECT_EQ(Parse("0.04"), 0);
  EXPECT_EQ(Parse("0.0000000000000000000009"), 0);
}

TEST(ParseRangedInt, GarbageGivesTheDefault) {
  for (const char* text :
       {"",     " ",   "abc", "12abc", "1 2", " 12", "12 ", "0x10", "&H10", "1,000",
        "$5",   "+",   "-",   ".",     "+.",  "e3",  ".e3", "1e",   "1e+",  "1e3.5",
        "1..2", "--1", "+-1", "1-",    "\t1", "1\n", "inf", "nan"}) {
    EXPECT_EQ(Parse(text), 77) << "text: '" << text << "'";
  }
  EXPECT_EQ(Parse(std::string("1\0", 2)), 77);
}

TEST(ParseRangedInt, ValuesBeyond32BitsGiveTheDefault) {
  EXPECT_EQ(Parse("2147483647"), kMax);
  EXPECT_EQ(Parse("-2147483648"), kMin);
  EXPECT_EQ(Parse("2147483648"), 77);
  EXPECT_EQ(Parse("-2147483649"), 77);
  EXPECT_EQ(Parse("2147483647.5"), 77);  // rounds to even 2147483648
  EXPECT_EQ(Parse("2147483646.5"), 2147483646);
  EXPECT_EQ(Parse("-2147483648.5"), kMin);  // even neighbour is in range
  EXPECT_EQ(Parse("99999999999"), 77);
  // 2^64 + 5 and 2^63 + 7: a 64-bit accumulator would wrap into range.
  EXPECT_EQ(Parse("18446744073709551621"), 77);
  EXPECT_EQ(Parse("9223372036854775815"), 77);
  EXPECT_EQ(Parse("1844674407370955162.1e1"), 77);
  EXPECT_EQ(Parse("1e10"), 77);
  EXPECT_EQ(Parse("1e9"), 1000000000);
  EXPECT_EQ(Parse("1e999"), 77);
  EXPECT_EQ(Parse("-1e999"), 77);
  EXPECT_EQ(Parse("1e-999"), 0);
  EXPECT_EQ(Parse("1e99999999999999999999999999"), 77);
  EXPECT_EQ(Parse("1e-99999999999999999999999999"), 0);
  EXPECT_EQ(Parse(std::string(5000, '9')), 77);
  EXPECT_EQ(Parse(std::string(5000, '0') + "42"), 42);
  EXPECT_EQ(Parse("0." + std::string(5000, '0') + "1e5000"), 0);
  EXPECT_EQ(Parse("0." + std::string(5000, '0') + "1e5002"), 10);
}

TEST(ParseRangedInt, OutOfBoundsGivesTheDefaultNeverTheBound) {
  EXPECT_EQ(ParseRangedInt("0", 1, 65535, 8147), 8147);
  EXPECT_EQ(ParseRangedInt("65536", 1, 65535, 8147), 8147);
  EXPECT_EQ(ParseRangedInt("1", 1, 65535, 8147), 1);
  EXPECT_EQ(ParseRangedInt("65535", 1, 65535, 8147), 65535);
  EXPECT_EQ(ParseRangedInt("0.5", 1, 65535, 8147), 8147);  // rounds to 0
  EXPECT_EQ(ParseRangedInt("0.51", 1, 65535, 8147), 1);
  EXPECT_EQ(ParseRangedInt("65535.5", 1, 65535, 8147), 8147);  // rounds to 65536
  EXPECT_EQ(ParseRangedInt("-1", 0, 255, 6), 6);
}

// Short numbers are represented closely enough by a double that rounding
// the double to even gives the exact answer; compare against that.
TEST(ParseRangedInt, AgreesWithFloatingPointOnShortNumbers) {
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  std::mt19937 random(4711);
  for (int iteration = 0; iteration < 5000; ++iteration) {
    std::string text;
    if (random() % 3 == 0) text += (random() % 2 ? '-' : '+');
    const size_t integerDigits = random() % 6;
    for (size_t k = 0; k < integerDigits; ++k) text += static_cast<char>('0' + random() % 10);
    size_t fractionDigits = random() % 3;
    if (integerDigits == 0 && fractionDigits == 0) fractionDigits = 1;
    if (fractionDigits > 0 || random() % 4 == 0) text += '.';
    for (size_t k = 0; k < fractionDigits; ++k) {
      text += static_cast<char>(k == 0 && random() % 2 ? '5' : '0' + random() % 10);
    }
    if (random() % 4 == 0) {
      text += 'e';
      text += std::to_string(static_cast<int>(random() % 7) - 3);
    }
    const auto expected = static_cast<int32_t>(std::nearbyint(std::strtod(text.c_str(), nullptr)));
    EXPECT_EQ(ParseRangedInt(text, -100000000, 100000000, 123456789), expected) << text;
  }
}

// ---- ParseCommandLine: defaults and each switch -----------------------------

TEST(ParseCommandLine, EmptyLineGivesEveryDefault) {
  for (const std::string line : {"", " ", "   ", "-", " - - "}) {
    const Settings s = ParseCommandLine(line);
    EXPECT_EQ(s.clientPort, 8147);
    EXPECT_EQ(s.serialPort, 1);
    EXPECT_EQ(s.lineSettings, "9600,n,8,1");
    EXPECT_EQ(s.logLevel, 10);
    EXPECT_EQ(s.peerHost, "");
    EXPECT_EQ(s.sourcePort, 0);
    EXPECT_FALSE(s.listen);
    EXPECT_EQ(s.protocol, NetworkProtocol::kTcp);
    EXPECT_EQ(s.spoolFile, "");
    EXPECT_EQ(s.frameTimeoutMs, 500);
    EXPECT_FALSE(s.cutDetection);
    EXPECT_FALSE(s.eventContentType);
    EXPECT_EQ(s.logSizeMB, 10);
    EXPECT_EQ(s.logFileName, "Debug.log");
    EXPECT_FALSE(s.serviceMode);
    EXPECT_EQ(s.webPort, 0);
    EXPECT_EQ(s.webAddress, "");
  }
}

TEST(ParseCommandLine, WebPortWithOptionalAddress) {
  const auto web = [](const std::string& line) {
    const Settings s = ParseCommandLine(line);
    return s.webAddress + "|" + std::to_string(s.webPort);
  };
  EXPECT_EQ(web("-w 8080"), "|8080");
  EXPECT_EQ(web("-w127.0.0.1:8080"), "127.0.0.1|8080");
  EXPECT_EQ(web("-w localhost:9000 -p 9100"), "localhost|9000");
  EXPECT_EQ(web("-w [::1]:8080"), "::1|8080");
  EXPECT_EQ(web("-w ::1:8080"), "::1|8080");
  EXPECT_EQ(web("-w :8080"), "|8080");
  // A bad port leaves the web port off, address and all.
  EXPECT_EQ(web("-w 0"), "|0");
  EXPECT_EQ(web("-w 127.0.0.1:70000"), "|0");
  EXPECT_EQ(web("-w 127.0.0.1"), "|0");
  EXPECT_EQ(web("-w"), "|0");
}

TEST(ParseCommandLine, PrinterAndStatusAnswers) {
  const Settings none = ParseCommandLine("-l -t 9100");
  EXPECT_EQ(none.printerHost, "");
  EXPECT_FALSE(none.answerStatus);
  const Settings named = ParseCommandLine("-o printer");
  EXPECT_EQ(named.printerHost, "printer");
  EXPECT_EQ(named.printerPort, 9100);
  const Settings addressed = ParseCommandLine("-O 192.168.1.50:9101 -v");
  EXPECT_EQ(addressed.printerHost, "192.168.1.50");
  EXPECT_EQ(addressed.printerPort, 9101);
  EXPECT_TRUE(addressed.answerStatus);
  EXPECT_EQ(ParseCommandLine("-o Printer:0").printerPort, 9100);
  EXPECT_EQ(ParseCommandLine("-o Printer:x").printerHost, "Printer");
  EXPECT_EQ(ParseCommandLine("-o printer : 9102").printerHost, "printer");
  EXPECT_EQ(ParseCommandLine("-o printer : 9102").printerPort, 9102);
}

TEST(ParseCommandLine, Port) {
  EXPECT_EQ(ParseCommandLine("-p 0").clientPort, 8147);
  EXPECT_EQ(ParseCommandLine("-p 65536").clientPort, 8147);
  EXPECT_EQ(ParseCommandLine("-p abc").clientPort, 8147);
  EXPECT_EQ(ParseCommandLine("-p").clientPort, 8147);
  EXPECT_EQ(ParseCommandLine("-p65000").clientPort, 65000);
  EXPECT_EQ(ParseCommandLine("-p 65000").clientPort, 65000);
  EXPECT_EQ(ParseCommandLine("-p   65000   ").clientPort, 65000);
  EXPECT_EQ(ParseCommandLine("-p 8000.5").clientPort, 8000);
  EXPECT_EQ(ParseCommandLine("-p 1e3").clientPort, 1000);
  EXPECT_EQ(ParseCommandLine("-p 12345678901").clientPort, 8147);
}

TEST(ParseCommandLine, UpperCaseSwitchLettersWork) {
  EXPECT_EQ(ParseCommandLine("-P 9000").clientPort, 9000);
  const Settings s = ParseCommandLine("-S -L -U -E -C 3 -T 77 -D 2 -R 1 -F 50 -G 5");
  EXPECT_TRUE(s.serviceMode);
  EXPECT_TRUE(s.listen);
  EXPECT_TRUE(s.cutDetection);
  EXPECT_TRUE(s.eventContentType);
  EXPECT_EQ(s.serialPort, 3);
  EXPECT_EQ(s.sourcePort, 77);
  EXPECT_EQ(s.logLevel, 2);
  EXPECT_EQ(s.protocol, NetworkProtocol::kUdp);
  EXPECT_EQ(s.frameTimeoutMs, 50);
  EXPECT_EQ(s.logSizeMB, 5);
}

TEST(ParseCommandLine, ValuesKeepTheirCase) {
  EXPECT_EQ(ParseCommandLine("-h /Tmp/Spool.TXT").spoolFile, "/Tmp/Spool.TXT");
  EXPECT_EQ(ParseCommandLine("-A Printer.Example.COM").peerHost, "Printer.Example.COM");
  EXPECT_EQ(ParseCommandLine("-b 19200,N,8,1").lineSettings, "19200,N,8,1");
  EXPECT_EQ(ParseCommandLine("-I Trace.LOG").logFileName, "Trace.LOG");
  EXPECT_EQ(ParseCommandLine("-K /Etc/Outputs.TOML -p 80").outputsFile, "/Etc/Outputs.TOML");
  EXPECT_EQ(ParseCommandLine("-p 80").outputsFile, "");
}

TEST(ParseCommandLine, DebugLevel) {
  EXPECT_EQ(ParseCommandLine("-d 300").logLevel, 6);
  EXPECT_EQ(ParseCommandLine("-d x").logLevel, 6);
  EXPECT_EQ(ParseCommandLine("-d").logLevel, 6);
  EXPECT_EQ(ParseCommandLine("-d -1").logLevel, 6);
  EXPECT_EQ(ParseCommandLine("-d 0").logLevel, 0);
  EXPECT_EQ(ParseCommandLine("-d 255").logLevel, 255);
  EXPECT_EQ(ParseCommandLine("-d 11").logLevel, 11);
  EXPECT_EQ(ParseCommandLine("-p 1").logLevel, 10);
}

TEST(ParseCommandLine, FrameTimeout) {
  EXPECT_EQ(ParseCommandLine("-f 0").frameTimeoutMs, 0);
  EXPECT_EQ(ParseCommandLine("-f 59000").frameTimeoutMs, 59000);
  EXPECT_EQ(ParseCommandLine("-f 59001").frameTimeoutMs, 500);
  EXPECT_EQ(ParseCommandLine("-f").frameTimeoutMs, 500);
}

TEST(ParseCommandLine, ComPort) {
  EXPECT_EQ(ParseCommandLine("-c 0").serialPort, 1);
  EXPECT_EQ(ParseCommandLine("-c 128").serialPort, 1);
  EXPECT_EQ(ParseCommandLine("-c 127").serialPort, 127);
  EXPECT_EQ(ParseCommandLine("-c4").serialPort, 4);
}

TEST(ParseCommandLine, RemotePortAndProtocol) {
  EXPECT_EQ(ParseCommandLine("-a host -t 70000").sourcePort, 0);
  EXPECT_EQ(ParseCommandLine("-t 0").sourcePort, 0);
  EXPECT_EQ(ParseCommandLine("-t 65535").sourcePort, 65535);
  EXPECT_EQ(ParseCommandLine("-t 1").sourcePort, 1);
  // Only 1 means UDP; any other value, and a bad one, means TCP.
  EXPECT_EQ(ParseCommandLine("-r 1").protocol, NetworkProtocol::kUdp);
  EXPECT_EQ(ParseCommandLine("-r 1.4").protocol, NetworkProtocol::kUdp);
  EXPECT_EQ(ParseCommandLine("-r 2").protocol, NetworkProtocol::kTcp);
  EXPECT_EQ(ParseCommandLine("-r 256").protocol, NetworkProtocol::kTcp);
  EXPECT_EQ(ParseCommandLine("-r 257").protocol, NetworkProtocol::kTcp);
}

TEST(ParseCommandLine, LogSizeAndFileName) {
  EXPECT_EQ(ParseCommandLine("-g 1999").logSizeMB, 1999);
  EXPECT_EQ(ParseCommandLine("-g 2000").logSizeMB, 10);
  EXPECT_EQ(ParseCommandLine("-g 0").logSizeMB, 10);
  EXPECT_EQ(ParseCommandLine("-i relay.log").logFileName, "relay.log");
  EXPECT_EQ(ParseCommandLine("-i").logFileName, "");
  EXPECT_EQ(ParseCommandLine("-i   ").logFileName, "");
}

TEST(ParseCommandLine, TextSwitchesWithoutValueGiveEmptyText) {
  const Settings s = ParseCommandLine("-b -a -h");
  EXPECT_EQ(s.lineSettings, "");
  EXPECT_EQ(s.peerHost, "");
  EXPECT_EQ(s.spoolFile, "");
}

TEST(ParseCommandLine, BooleanSwitchesIgnoreTheirValueAndOnlySwitchOn) {
  EXPECT_TRUE(ParseCommandLine("-sx").serviceMode);
  EXPECT_TRUE(ParseCommandLine("-s false").serviceMode);
  EXPECT_TRUE(ParseCommandLine("-l 0").listen);
  EXPECT_TRUE(ParseCommandLine("-u off").cutDetection);
  EXPECT_TRUE(ParseCommandLine("-e no").eventContentType);
  EXPECT_TRUE(ParseCommandLine("-s -s").serviceMode);
}

// ---- ParseCommandLine: splitting at every hyphen ----------------------------

TEST(ParseCommandLine, HyphenInsideValueStartsAFurtherSwitch) {
  const Settings s = ParseCommandLine("-a my-host");
  EXPECT_EQ(s.peerHost, "my");
  EXPECT_EQ(s.spoolFile, "ost");
  EXPECT_EQ(ParseCommandLine("-h /tmp/spool-p9000").clientPort, 9000);
  EXPECT_EQ(ParseCommandLine("-h /tmp/spool-p9000").spoolFile, "/tmp/spool");
}

TEST(ParseCommandLine, LaterOccurrenceWins) {
  EXPECT_EQ(ParseCommandLine("-p 1000 -p 2000").clientPort, 2000);
  EXPECT_EQ(ParseCommandLine("-p 1000 -p 0").clientPort, 8147);
  EXPECT_EQ(ParseCommandLine("-a one -a two").peerHost, "two");
}

TEST(ParseCommandLine, TextBeforeTheFirstHyphenIsReadAsASwitch) {
  EXPECT_EQ(ParseCommandLine("p9000").clientPort, 9000);
  const Settings s = ParseCommandLine("abc -p 9000");
  EXPECT_EQ(s.peerHost, "bc");
  EXPECT_EQ(s.clientPort, 9000);
}

TEST(ParseCommandLine, UnknownLettersAndEmptyElementsAreIgnored) {
  const Settings s = ParseCommandLine("-x 5 -- -z -p 9000 - -9 -");
  EXPECT_EQ(s.clientPort, 9000);
  EXPECT_EQ(s.logLevel, 10);
  EXPECT_EQ(StartupLine(s), StartupLine(ParseCommandLine("-p 9000")));
}

TEST(ParseCommandLine, QuotationMarksAndInnerBlanksAreKept) {
  EXPECT_EQ(ParseCommandLine("-h \"C:/Spool Dir/out.txt\"").spoolFile, "\"C:/Spool Dir/out.txt\"");
  EXPECT_EQ(ParseCommandLine("-p \"9000\"").clientPort, 8147);
}

TEST(ParseCommandLine, OnlySpacesAreTrimmed) {
  EXPECT_EQ(ParseCommandLine("-a \thost\t ").peerHost, "\thost\t");
  EXPECT_EQ(ParseCommandLine("-p\t9000").clientPort, 8147);
  EXPECT_EQ(ParseCommandLine("-\tp 9000").clientPort, 8147);  // the letter is the tab
}

TEST(ParseCommandLine, BytesPassUnchangedInValues) {
  const std::string value("\x80\xff\0x", 4);
  EXPECT_EQ(ParseCommandLine("-a " + value).peerHost, value);
  EXPECT_EQ(ParseCommandLine("-\xc4 1 -p 2").clientPort, 2);  // a high byte is no letter
}

// ---- JoinArguments ------------------------------------------------------------

TEST(JoinArguments, JoinsArgumentsAfterTheProgramNameWithSingleBlanks) {
  std::string program = "TavrikSrv", p = "-p", port = "9000", h = "-h", path = "/Tmp/A B.txt";
  std::vector<char*> argv = {program.data(), p.data(), port.data(), h.data(), path.data()};
  EXPECT_EQ(JoinArguments(1, argv.data()), "");
  EXPECT_EQ(JoinArguments(2, argv.data()), "-p");
  const std::string line = JoinArguments(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(line, "-p 9000 -h /Tmp/A B.txt");
  EXPECT_EQ(ParseCommandLine(line).clientPort, 9000);
  EXPECT_EQ(ParseCommandLine(line).spoolFile, "/Tmp/A B.txt");
}

TEST(JoinArguments, NoArgumentsGiveAnEmptyLine) {
  EXPECT_EQ(JoinArguments(0, nullptr), "");
}

// ---- StartupLine ----------------------------------------------------------------

TEST(StartupLine, EmptyCommandLine) {
  EXPECT_EQ(StartupLine(ParseCommandLine("")),
            "Executing as application. Port=8147, Com1:9600,n,8,1, DebugLevel=10, "
            "RemoteAddress=, RemotePort=0, SrcListen=False");
}

TEST(StartupLine, FullCommandLine) {
  const Settings s = ParseCommandLine(
      "-p 9100 -c 3 -b 19200,E,7,2 -d 2 -a Relay.Local -t 4000 -l -f 250 -u -e -r 1 "
      "-h /var/spool/x.txt -g 50 -i trace.log");
  EXPECT_EQ(StartupLine(s),
            "Executing as application. Port=9100, Com3:19200,E,7,2, DebugLevel=2, "
            "RemoteAddress=Relay.Local, RemotePort=4000, SrcListen=True");
}

TEST(StartupLine, ServiceModePrefix) {
  EXPECT_EQ(StartupLine(ParseCommandLine("-s -d 11")),
            "Executing as service. Port=8147, Com1:9600,n,8,1, DebugLevel=11, "
            "RemoteAddress=, RemotePort=0, SrcListen=False");
}

TEST(StartupLine, QuotationMarksInValuesAreKept) {
  EXPECT_EQ(StartupLine(ParseCommandLine("-a \"host\" -b \"x\"")),
            "Executing as application. Port=8147, Com1:\"x\", DebugLevel=10, "
            "RemoteAddress=\"host\", RemotePort=0, SrcListen=False");
}

}  // namespace
}  // namespace tavrik
