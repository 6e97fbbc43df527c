// The line a port asks for, checked on the composed termios2 itself: a
// pseudo-terminal, which the port tests run on, always reports 8 data bits and
// no parity whatever it was given.
#include "platform/asio/posix/SerialLine.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tavrik {
namespace {

// A line in cooked mode with every optional flag set, so that any flag the
// raw line must not keep shows up.
termios2 CookedLine() {
  termios2 line{};
  line.c_iflag = ~tcflag_t{0};
  line.c_oflag = ~tcflag_t{0};
  line.c_cflag = ~tcflag_t{0};
  line.c_lflag = ~tcflag_t{0};
  for (auto& c : line.c_cc) c = 1;
  return line;
}

termios2 Compose(const SerialSettings& settings) {
  termios2 line = CookedLine();
  MakeRawLine(line, settings);
  return line;
}

TEST(SerialLineTest, MakesARawLineThatPassesBytesUnchanged) {
  const termios2 line = Compose({9600, 'n', 8, 10});
  EXPECT_EQ(line.c_iflag & (IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                            ICRNL | IUCLC | IXON | IXANY | IXOFF),
            0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  EXPECT_EQ(line.c_lflag & (ISIG | ICANON | ECHO | ECHONL | IEXTEN), 0u);
  EXPECT_EQ(line.c_cflag & CRTSCTS, 0u) << "no flow control";
  EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
  EXPECT_EQ(line.c_cc[VMIN], 1);
  EXPECT_EQ(line.c_cc[VTIME], 0);
}

TEST(SerialLineTest, SetsParityDataBitsAndStopBits) {
  struct Case {
    SerialSettings settings;
    tcflag_t parity;
    tcflag_t size;
    tcflag_t stop;
  };
  const std::vector<Case> cases = {
      {{9600, 'n', 8, 10}, 0, CS8, 0},
      {{9600, 'e', 7, 10}, PARENB, CS7, 0},
      {{9600, 'o', 6, 20}, PARENB | PARODD, CS6, CSTOPB},
      {{9600, 'm', 8, 10}, PARENB | CMSPAR | PARODD, CS8, 0},
      {{9600, 's', 5, 15}, PARENB | CMSPAR, CS5, CSTOPB},  // 1.5 is sent as 2 asked with 5 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings.parity);
    const termios2 line = Compose(c.settings);
    EXPECT_EQ(line.c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
    EXPECT_EQ(line.c_cflag & CSIZE, c.size);
    EXPECT_EQ(line.c_cflag & CSTOPB, c.stop);
  }
}

TEST(SerialLineTest, UsesStandardRateCodesAndBotherForOtherRates) {
  const termios2 standard = Compose({19200, 'n', 8, 10});
  EXPECT_EQ(standard.c_cflag & CBAUD, tcflag_t{B19200});
  EXPECT_EQ(standard.c_cflag & (CBAUD << IBSHIFT), 0u) << "input speed follows output speed";

  const termios2 fastest = Compose({4000000, 'n', 8, 10});
  EXPECT_EQ(fastest.c_cflag & CBAUD, tcflag_t{B4000000});

  const termios2 other = Compose({14400, 'n', 8, 10});
  EXPECT_EQ(other.c_cflag & CBAUD, tcflag_t{BOTHER});
  EXPECT_EQ(other.c_ospeed, 14400u);
  EXPECT_EQ(other.c_ispeed, 14400u);
}

TEST(SerialLineTest, ReportsTheErrorOfADescriptorThatIsNoTty) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  EXPECT_EQ(ConfigureSerialLine(ends[0], {9600, 'n', 8, 10}), ENOTTY);
  close(ends[0]);
  close(ends[1]);
}

}  // namespace
}  // namespace tavrik
