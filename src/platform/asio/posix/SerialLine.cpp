#include "platform/asio/posix/SerialLine.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <iterator>

namespace tavrik {
namespace {

struct StandardRate {
  int baud;
  tcflag_t code;
};

// Standard rates keep their own code, so that tools reading the line with the
// C library's tcgetattr see the rate; others go through BOTHER.
constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t RateCode(int baud) {
  for (const auto& rate : kStandardRates) {
    if (rate.baud == baud) return rate.code;
  }
  return BOTHER;
}

tcflag_t SizeFlag(int dataBits) {
  switch (dataBits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

tcflag_t ParityFlags(char parity) {
  switch (parity) {
    case 'e':
      return PARENB;
    case 'o':
      return PARENB | PARODD;
    case 'm':  // stick parity: the parity bit is always PARODD's value
      return PARENB | CMSPAR | PARODD;
    case 's':
      return PARENB | CMSPAR;
    default:
      return 0;
  }
}

}  // namespace

void MakeRawLine(termios2& line, const SerialSettings& settings) {
  line.c_iflag &=
      ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                             ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
  line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  line.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | IEXTEN);
  line.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB |
                                         PARODD | CMSPAR | CRTSCTS);
  // Linux has no 1.5 stop bits; a UART asked for 2 sends 1.5 with 5 data bits
  // (the 16550 does), so 1.5 maps to 2.
  const tcflag_t stopFlag = settings.stopBitsTimesTen > 10 ? CSTOPB : 0;
  line.c_cflag |= RateCode(settings.baud) | SizeFlag(settings.dataBits) |
                  ParityFlags(settings.parity) | stopFlag | CLOCAL | CREAD;
  line.c_ispeed = static_cast<speed_t>(settings.baud);
  line.c_ospeed = static_cast<speed_t>(settings.baud);
  // VMIN 1 rather than 0: on the non-blocking descriptor a read still never
  // waits, but reports EAGAIN when nothing is waiting, so that a read of 0
  // bytes means the line hung up.
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
}

int ConfigureSerialLine(int fd, const SerialSettings& settings) {
  termios2 line{};
  if (ioctl(fd, TCGETS2, &line) != 0) return errno;
  MakeRawLine(line, settings);
  if (ioctl(fd, TCSETS2, &line) != 0) return errno;
  return 0;
}

}  // namespace tavrik
