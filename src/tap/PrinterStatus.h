#pragma once
// What is known of a printer's condition from its own status replies: each
// field is unknown until a reply that carries it arrives. A plain value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrik::tap {

// In the order a status line reports them; every one but Offline is a fault.
enum class StatusField : uint8_t {
  Offline,
  CoverOpen,
  PaperNearEnd,
  PaperEnd,
  PaperEndStop,  // printing stopped by the paper end
  Error,         // the offline cause "error", without the detail
  MechanicalError,
  CutterError,
  UnrecoverableError,
  AutoRecoverableError,
};
inline constexpr size_t kStatusFieldCount = 10;

class PrinterStatus {
 public:
  // Whether any field is known.
  bool Known() const { return known_ != 0; }
  bool Known(StatusField field) const { return (known_ & Bit(field)) != 0; }
  // Known and set.
  bool IsOn(StatusField field) const { return (on_ & Bit(field)) != 0; }
  void Set(StatusField field, bool on);

  // "online, paper OK", "offline, cover open, paper end", or "unknown".
  std::string Describe() const;
  // "offline", "cover open", "paper near end", ...
  static std::string_view Name(StatusField field);

 private:
  static uint16_t Bit(StatusField field) {
    return static_cast<uint16_t>(1u << static_cast<unsigned>(field));
  }

  uint16_t known_ = 0;
  uint16_t on_ = 0;
};

}  // namespace tavrik::tap
