#include "tap/StatusResponder.h"

#include <cstdint>

#include "escpos/ControlBytes.h"

namespace tavrik::tap {
namespace {

using namespace std::string_view_literals;

constexpr char kOnline = 0x16;   // DLE EOT 1: drawer pin 3 high, online
constexpr char kNoFault = 0x12;  // DLE EOT 2, 3, 4: only the fixed bits
constexpr std::string_view kHealthyAutoStatus = "\x10\x00\x00\x00"sv;
constexpr char kInfoHeader = 0x5F;

std::string_view PrinterInfo(uint8_t n) {
  switch (n) {
    case 65:
      return "1.00";
    case 66:
      return "TAVRIK";
    case 67:
      return "TAVRIK RELAY";
    case 68:
      return "00000001";
    case 69:
      return "ANK";
    default:
      return {};
  }
}

}  // namespace

void StatusResponder::Scan(std::string_view chunk, std::string& replies) {
  size_t at = 0;
  while (const std::optional<PosQuery> query = scanner_.Next(chunk, at)) Answer(*query, replies);
}

void StatusResponder::Answer(PosQuery query, std::string& replies) {
  switch (query.kind) {
    case PosQueryKind::RealTimeStatus:
      replies += query.n == kStatusPrinter ? kOnline : kNoFault;
      return;
    case PosQueryKind::TransmitStatus:
      if (query.n == 1 || query.n == 2 || query.n == '1' || query.n == '2') replies += '\0';
      return;
    case PosQueryKind::AutoStatus:
      autoStatus_ = query.n != 0;
      if (autoStatus_) replies += kHealthyAutoStatus;
      return;
    case PosQueryKind::Initialize:
      autoStatus_ = false;
      return;
    case PosQueryKind::PrinterId:
      switch (query.n) {
        case 1:
        case '1':
          replies += '\x20';
          return;
        case 2:
        case '2':
          replies += '\x02';
          return;
        case 3:
        case '3':
          replies += '\x64';
          return;
        default:
          break;
      }
      if (const std::string_view info = PrinterInfo(query.n); !info.empty()) {
        replies += kInfoHeader;
        replies += info;
        replies += '\0';
      }
      return;
  }
}

}  // namespace tavrik::tap
