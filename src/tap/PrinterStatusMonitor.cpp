#include "tap/PrinterStatusMonitor.h"

#include "escpos/ControlBytes.h"

namespace tavrik::tap {
namespace {

// Printer information runs to 80 bytes; a lost NUL must not hide every later reply.
constexpr size_t kMaxBlockData = 128;

bool IsRealTimeReply(uint8_t byte) {
  return (byte & 0x93) == 0x12;
}
bool IsAutoStatusStart(uint8_t byte) {
  return (byte & 0x93) == 0x10;
}
bool IsAutoStatusRest(uint8_t byte) {
  return (byte & 0x90) == 0;
}
bool IsBlockDataHeader(uint8_t byte) {
  return byte == 0x37 || byte == 0x3D || byte == 0x5F;
}

}  // namespace

void PrinterStatusMonitor::OnPosBytes(std::string_view chunk) {
  size_t at = 0;
  while (const std::optional<PosQuery> query = scanner_.Next(chunk, at)) {
    switch (query->kind) {
      case PosQueryKind::RealTimeStatus:
        if (pendingCount_ == kMaxPendingQueries) {
          pendingFirst_ = (pendingFirst_ + 1) % kMaxPendingQueries;
          --pendingCount_;
        }
        pending_[(pendingFirst_ + pendingCount_++) % kMaxPendingQueries] = query->n;
        break;
      case PosQueryKind::AutoStatus:
        autoStatus_ = query->n != 0;
        break;
      case PosQueryKind::Initialize:
        autoStatus_ = false;
        break;
      case PosQueryKind::TransmitStatus:
      case PosQueryKind::PrinterId:
        break;
    }
  }
}

void PrinterStatusMonitor::OnPrinterBytes(std::string_view chunk) {
  for (const char c : chunk) OnReplyByte(static_cast<uint8_t>(c));
}

void PrinterStatusMonitor::ForgetPending() {
  pendingFirst_ = 0;
  pendingCount_ = 0;
  reply_ = Reply::Idle;
  blockLength_ = 0;
  scanner_ = PosQueryScanner();
}

void PrinterStatusMonitor::OnReplyByte(uint8_t byte) {
  if (reply_ == Reply::BlockData) {
    if (byte == 0 || ++blockLength_ == kMaxBlockData) reply_ = Reply::Idle;
    return;
  }
  if (reply_ == Reply::AutoStatusBlock) {
    if (IsAutoStatusRest(byte)) {
      block_[blockLength_++] = byte;
      if (blockLength_ == block_.size()) {
        reply_ = Reply::Idle;
        ApplyAutoStatus();
      }
      return;
    }
    reply_ = Reply::Idle;  // not a block after all; the byte may start a reply
  }
  if (IsRealTimeReply(byte)) {
    if (pendingCount_ == 0) return;  // nobody asked (another host, or forgotten)
    const uint8_t query = pending_[pendingFirst_];
    pendingFirst_ = (pendingFirst_ + 1) % kMaxPendingQueries;
    --pendingCount_;
    ApplyRealTimeReply(query, byte);
  } else if (IsAutoStatusStart(byte) && autoStatus_) {
    reply_ = Reply::AutoStatusBlock;
    block_[0] = byte;
    blockLength_ = 1;
  } else if (IsBlockDataHeader(byte)) {
    reply_ = Reply::BlockData;
    blockLength_ = 0;
  }
}

void PrinterStatusMonitor::ApplyRealTimeReply(uint8_t query, uint8_t reply) {
  const auto bit = [reply](unsigned n) { return (reply & (1u << n)) != 0; };
  switch (query) {
    case kStatusPrinter:
      Update(StatusField::Offline, bit(3));
      if (onDrawer_) onDrawer_(bit(2));
      break;
    case kStatusOffline:
      Update(StatusField::CoverOpen, bit(2));
      Update(StatusField::PaperEndStop, bit(5));
      Update(StatusField::Error, bit(6));
      break;
    case kStatusError:
      Update(StatusField::MechanicalError, bit(2));
      Update(StatusField::CutterError, bit(3));
      Update(StatusField::UnrecoverableError, bit(5));
      Update(StatusField::AutoRecoverableError, bit(6));
      break;
    case kStatusPaper:
      Update(StatusField::PaperNearEnd, (reply & 0x0C) != 0);
      Update(StatusField::PaperEnd, (reply & 0x60) != 0);
      break;
  }
}

void PrinterStatusMonitor::ApplyAutoStatus() {
  Update(StatusField::Offline, (block_[0] & 0x08) != 0);
  Update(StatusField::CoverOpen, (block_[0] & 0x20) != 0);
  Update(StatusField::PaperNearEnd, (block_[2] & 0x03) != 0);
  Update(StatusField::PaperEnd, (block_[2] & 0x0C) != 0);
  Update(StatusField::MechanicalError, (block_[1] & 0x04) != 0);
  Update(StatusField::CutterError, (block_[1] & 0x08) != 0);
  Update(StatusField::UnrecoverableError, (block_[1] & 0x20) != 0);
  Update(StatusField::AutoRecoverableError, (block_[1] & 0x40) != 0);
  if (onDrawer_) onDrawer_((block_[0] & 0x04) != 0);
}

void PrinterStatusMonitor::Update(StatusField field, bool on) {
  const bool wasKnown = status_.Known(field);
  const bool wasOn = status_.IsOn(field);
  status_.Set(field, on);
  const bool reported = wasKnown ? wasOn != on : on || field == StatusField::Offline;
  if (!reported || !onChange_) return;
  std::string line = "Printer status: ";
  if (field == StatusField::Offline) {
    line += on ? "offline" : "online";
  } else {
    line += PrinterStatus::Name(field);
    if (!on) line += " cleared";
  }
  onChange_(line);
}

}  // namespace tavrik::tap
