#include "tap/PrinterStatus.h"

namespace tavrik::tap {

void PrinterStatus::Set(StatusField field, bool on) {
  known_ = static_cast<uint16_t>(known_ | Bit(field));
  on_ = static_cast<uint16_t>(on ? on_ | Bit(field) : on_ & ~Bit(field));
}

std::string PrinterStatus::Describe() const {
  std::string text;
  const auto add = [&text](std::string_view part) {
    if (!text.empty()) text += ", ";
    text += part;
  };
  if (Known(StatusField::Offline)) add(IsOn(StatusField::Offline) ? "offline" : "online");
  for (size_t i = 1; i < kStatusFieldCount; ++i) {
    const auto field = static_cast<StatusField>(i);
    if (IsOn(field)) add(Name(field));
  }
  const bool paperKnown = Known(StatusField::PaperNearEnd) || Known(StatusField::PaperEnd) ||
                          Known(StatusField::PaperEndStop);
  const bool paperShort = IsOn(StatusField::PaperNearEnd) || IsOn(StatusField::PaperEnd) ||
                          IsOn(StatusField::PaperEndStop);
  if (paperKnown && !paperShort) add("paper OK");
  return text.empty() ? "unknown" : text;
}

std::string_view PrinterStatus::Name(StatusField field) {
  switch (field) {
    case StatusField::Offline:
      return "offline";
    case StatusField::CoverOpen:
      return "cover open";
    case StatusField::PaperNearEnd:
      return "paper near end";
    case StatusField::PaperEnd:
      return "paper end";
    case StatusField::PaperEndStop:
      return "printing stopped by paper end";
    case StatusField::Error:
      return "error";
    case StatusField::MechanicalError:
      return "mechanical error";
    case StatusField::CutterError:
      return "autocutter error";
    case StatusField::UnrecoverableError:
      return "unrecoverable error";
    case StatusField::AutoRecoverableError:
      return "auto-recoverable error";
  }
  return "unknown field";
}

}  // namespace tavrik::tap
