#pragma once
// When each receipt's last byte was handed to the relay: written by the
// feeder thread, read by the clients thread. A ring indexed by sequence
// number; a slot tells its own sequence number, so a reader never takes a
// time that belongs to another receipt.
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

namespace tavrik::load {

class SendTimes {
 public:
  SendTimes() : seqs_(kSlots), times_(kSlots) {}

  void Record(uint64_t seq, int64_t ns) {
    const size_t slot = seq & (kSlots - 1);
    times_[slot].store(ns, std::memory_order_relaxed);
    seqs_[slot].store(seq, std::memory_order_release);
  }

  std::optional<int64_t> Find(uint64_t seq) const {
    const size_t slot = seq & (kSlots - 1);
    if (seqs_[slot].load(std::memory_order_acquire) != seq) return std::nullopt;
    return times_[slot].load(std::memory_order_relaxed);
  }

 private:
  static constexpr size_t kSlots = size_t{1} << 20;
  std::vector<std::atomic<uint64_t>> seqs_;
  std::vector<std::atomic<int64_t>> times_;
};

}  // namespace tavrik::load
