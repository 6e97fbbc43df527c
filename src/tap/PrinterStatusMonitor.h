#pragma once
// Follows a printer's condition from both directions of a pass-through: the
// POS's status queries and the printer's replies. Reports each change of a
// field once, as a line for the log, and keeps the current status. Pure; the
// owner feeds it and writes the lines. Event thread only.
//
// Telling the printer's replies apart relies on their fixed bits:
//   0xx1xx10  reply to DLE EOT n, paired with the oldest query still waiting
//   0xx1xx00  first byte of a 4-byte automatic status block (GS a n, n != 0),
//             whose other three bytes have bits 4 and 7 off; taken only while
//             the POS has automatic status on, and dropped if a byte breaks
//             the pattern
//   0x37, 0x3D, 0x5F  header of block data (GS ( / GS I replies) up to a NUL:
//             skipped, since its text may hold bytes of the patterns above
//   anything else (GS I / GS r bytes 0xx0xxxx, XON 0x11, XOFF 0x13): ignored
// Only DLE EOT 1-4 are awaited: receipt printers leave DLE EOT 7 (ink)
// unanswered, and an answer from an ink printer would be paired with the next
// query. Bits used: DLE EOT 1 bit 3 offline; DLE EOT 2 bit 2 cover open, bit 5
// printing stopped by paper end, bit 6 error; DLE EOT 3 bit 2 mechanical,
// bit 3 autocutter, bit 5 unrecoverable, bit 6 auto-recoverable error;
// DLE EOT 4 bits 2-3 paper near end, bits 5-6 paper end. Automatic status:
// byte 1 bit 3 offline, bit 5 cover open; byte 2 as DLE EOT 3; byte 3 bits
// 0-1 paper near end, bits 2-3 paper end.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tap/PosQueryScanner.h"
#include "tap/PrinterStatus.h"

namespace tavrik::tap {

class PrinterStatusMonitor {
 public:
  // Receives "Printer status: paper end", "Printer status: paper end
  // cleared", "Printer status: offline", "Printer status: online". A fault
  // first seen absent says nothing; the first online/offline is reported.
  using ChangeHandler = std::function<void(const std::string& line)>;

  // Queries beyond this many unanswered push out the oldest: a printer that
  // stopped answering must not make the monitor grow.
  static constexpr size_t kMaxPendingQueries = 64;

  explicit PrinterStatusMonitor(ChangeHandler onChange) : onChange_(std::move(onChange)) {}

  // Told the drawer connector's level (pin 3 high) from every DLE EOT 1
  // reply and automatic status block, changed or not: a drawer watch times it.
  void SetDrawerHandler(std::function<void(bool pinHigh)> onDrawer) { onDrawer_ = std::move(onDrawer); }

  void OnPosBytes(std::string_view chunk);
  void OnPrinterBytes(std::string_view chunk);
  // The connection ended: the answers still owed will not come, and a query
  // or reply cut short must not join the next connection's bytes. The status
  // and the automatic status setting, which live in the printer, are kept.
  void ForgetPending();

  const PrinterStatus& Status() const { return status_; }
  size_t PendingQueries() const { return pendingCount_; }
  bool AutoStatusEnabled() const { return autoStatus_; }

 private:
  void OnReplyByte(uint8_t byte);
  void ApplyRealTimeReply(uint8_t query, uint8_t reply);
  void ApplyAutoStatus();
  void Update(StatusField field, bool on);

  enum class Reply : uint8_t { Idle, AutoStatusBlock, BlockData };

  ChangeHandler onChange_;
  std::function<void(bool pinHigh)> onDrawer_;
  PosQueryScanner scanner_;
  PrinterStatus status_;
  std::array<uint8_t, kMaxPendingQueries> pending_{};  // a ring of DLE EOT n
  size_t pendingFirst_ = 0;
  size_t pendingCount_ = 0;
  bool autoStatus_ = false;
  Reply reply_ = Reply::Idle;
  std::array<uint8_t, 4> block_{};
  size_t blockLength_ = 0;  // bytes of block_ filled, or of block data skipped
};

}  // namespace tavrik::tap
