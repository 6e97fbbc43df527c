#include "load/Feeder.h"

#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "load/Loopback.h"
#include "load/MonotonicClock.h"
#include "load/Receipt.h"

namespace tavrik::load {
namespace {

// A relay that takes nothing for this long is stuck or gone.
constexpr int64_t kStuckNs = 10'000'000'000;

void SleepUntil(int64_t ns) {
  timespec until{};
  until.tv_sec = static_cast<time_t>(ns / 1000000000);
  until.tv_nsec = static_cast<long>(ns % 1000000000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace

Feeder::Feeder(int fd, Config config, SendTimes& times)
    : fd_(fd), config_(config), times_(times), content_(config.mix) {
  // Non-blocking, so that a receipt's time is taken right after the write
  // that carried its last byte, not after a whole batch.
  SetNonBlocking(fd_);
  // Without it a batch smaller than a segment waits for the relay's delayed
  // acknowledgement whenever the window has held the feeder back.
  SetNoDelay(fd_);
}

Feeder::~Feeder() {
  Join();
  close(fd_);
}

void Feeder::Start() {
  thread_ = std::thread([this] { Run(); });
}

void Feeder::Join() {
  if (thread_.joinable()) thread_.join();
}

void Feeder::Build(uint64_t seq) {
  const size_t at = out_.size();
  out_.resize(at + config_.receiptSize);
  Receipt::Build(seq, MonotonicNs(), config_.receiptSize, content_, out_.data() + at);
  ends_.push_back(out_.size());
}

void Feeder::Run() {
  startNs_ = MonotonicNs();
  const int64_t cpuAtStart = ThreadCpuNs();
  const auto deadline = startNs_ + static_cast<int64_t>(config_.seconds * 1e9);
  uint64_t seq = 1;
  if (config_.rate <= 0) {
    while (MonotonicNs() < deadline) {
      out_.clear();
      ends_.clear();
      const uint64_t first = seq;
      if (!AwaitWindow(first + static_cast<uint64_t>(config_.batch) - 1, deadline)) break;
      for (int i = 0; i < config_.batch; ++i) Build(seq++);
      if (!WriteBatch(first)) break;
    }
  } else {
    const double period = 1e9 / config_.rate;
    for (uint64_t k = 0;; ++k) {
      const auto due =
          startNs_ + static_cast<int64_t>(std::llround(static_cast<double>(k) * period));
      if (due >= deadline) break;
      SleepUntil(due);
      out_.clear();
      ends_.clear();
      Build(seq);
      if (!WriteBatch(seq++)) break;
    }
  }
  stopNs_ = MonotonicNs();
  cpuNs_ = ThreadCpuNs() - cpuAtStart;
}

bool Feeder::AwaitWindow(uint64_t lastOfBatch, int64_t deadline) {
  if (config_.window == 0 || lastOfBatch <= config_.window) return true;
  const uint64_t needed = lastOfBatch - config_.window;
  const int64_t since = MonotonicNs();
  for (;;) {
    const int64_t now = MonotonicNs();
    if (now >= deadline) return false;
    if (now - since > kStuckNs) {
      error_ = "the clients received nothing for 10 s";
      return false;
    }
    if (config_.waitDelivered(needed, std::min(deadline, now + 100'000'000))) return true;
  }
}

bool Feeder::WriteBatch(uint64_t firstSeq) {
  size_t written = 0;
  size_t next = 0;  // index into ends_ of the first receipt not yet written whole
  int64_t lastProgress = MonotonicNs();
  while (written < out_.size()) {
    const ssize_t n = send(fd_, out_.data() + written, out_.size() - written, MSG_NOSIGNAL);
    if (n > 0) {
      written += static_cast<size_t>(n);
      bytes_.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
      const int64_t now = MonotonicNs();
      lastProgress = now;
      for (; next < ends_.size() && ends_[next] <= written; ++next) {
        times_.Record(firstSeq + next, now);
        lastSeq_.store(firstSeq + next, std::memory_order_release);
      }
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd ready{fd_, POLLOUT, 0};
      poll(&ready, 1, 200);
      if (MonotonicNs() - lastProgress > kStuckNs) {
        error_ = "the relay took no source data for 10 s";
        return false;
      }
      continue;
    }
    error_ = n == 0 ? std::string("source connection closed") : ErrnoText("source write");
    return false;
  }
  return true;
}

}  // namespace tavrik::load
