#include "load/ClientSwarm.h"

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <limits>

#include "load/Loopback.h"
#include "load/MonotonicClock.h"
#include "load/Receipt.h"

namespace tavrik::load {
namespace {

const std::string kRequest = "GET / HTTP/1.0\r\n\r\n";
constexpr size_t kMaxErrors = 8;

}  // namespace

struct ClientSwarm::Client {
  explicit Client(int index, StreamParser::Mode mode) : number(index), parser(mode) {}
  int number;
  int fd = -1;
  StreamParser parser;
  StreamParser::PartHandler onPart;
  ReceiptTally tally;
  std::atomic<uint64_t> frames{0};
  std::atomic<uint64_t> payload{0};
  std::atomic<uint64_t> wire{0};
  std::atomic<uint64_t> highest{0};
  std::atomic<bool> headSeen{false};
  std::atomic<bool> failed{false};
  uint64_t keepAlives = 0;
  uint64_t corrupted = 0;
};

ClientSwarm::ClientSwarm(Config config) : config_(config), content_(config.mix) {}

ClientSwarm::~ClientSwarm() {
  Stop();
  for (const auto& client : clients_) {
    if (client->fd >= 0) close(client->fd);
  }
  for (const int fd : stalled_) close(fd);
  if (epoll_ >= 0) close(epoll_);
}

std::string ClientSwarm::Connect(int port, int streaming, int stalled) {
  for (int i = 0; i < stalled; ++i) {
    const int fd = ConnectLoopback(port, 10);
    if (fd < 0) return ErrnoText("stalled client connect");
    stalled_.push_back(fd);
    if (!SendAll(fd, kRequest)) return ErrnoText("stalled client request");
  }
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) return ErrnoText("epoll_create1");
  for (int i = 0; i < streaming; ++i) {
    auto client = std::make_unique<Client>(i, config_.mode);
    client->fd = ConnectLoopback(port, 10);
    if (client->fd < 0) return ErrnoText("client connect");
    if (!SendAll(client->fd, kRequest)) return ErrnoText("client request");
    SetNonBlocking(client->fd);
    StampArrivals(client->fd);
    Client& self = *client;
    client->onPart = [this, &self](StreamParser::PartKind kind, std::string_view body) {
      OnPart(self, kind, body);
    };
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = client.get();
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, client->fd, &event) != 0) return ErrnoText("epoll_ctl");
    clients_.push_back(std::move(client));
  }
  return "";
}

void ClientSwarm::Start() {
  thread_ = std::thread([this] { Run(); });
}

void ClientSwarm::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ClientSwarm::Run() {
  std::vector<epoll_event> events(64);
  while (!stop_.load(std::memory_order_relaxed)) {
    const int n = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 50);
    for (int i = 0; i < n; ++i)
      ReadClient(*static_cast<Client*>(events[static_cast<size_t>(i)].data.ptr));
    PublishProgress();
  }
}

void ClientSwarm::PublishProgress() {
  uint64_t slowest = std::numeric_limits<uint64_t>::max();
  for (const auto& client : clients_) {
    if (client->failed) continue;  // a failed client no longer holds the feeder back
    slowest = std::min(slowest,
                       config_.mode == StreamParser::Mode::Raw
                           ? client->payload.load(std::memory_order_relaxed) / config_.receiptSize
                           : client->highest.load(std::memory_order_relaxed));
  }
  if (slowest == slowest_.load(std::memory_order_relaxed)) return;
  {
    const std::lock_guard<std::mutex> lock(progressMutex_);
    slowest_.store(slowest, std::memory_order_relaxed);
  }
  progressChanged_.notify_all();
}

bool ClientSwarm::WaitDelivered(uint64_t seq, int64_t untilNs) {
  std::unique_lock<std::mutex> lock(progressMutex_);
  const auto timeout = std::chrono::nanoseconds(std::max<int64_t>(untilNs - MonotonicNs(), 0));
  return progressChanged_.wait_for(lock, timeout,
                                   [&] { return slowest_.load(std::memory_order_relaxed) >= seq; });
}

void ClientSwarm::ReadClient(Client& client) {
  // A few reads per wake-up, then the next client: fair to all streams.
  for (int round = 0; round < 4 && !client.failed; ++round) {
    const std::span<char> space = client.parser.Space();
    const ssize_t n = ReceiveStamped(client.fd, space, arrival_);
    if (n < 0) {
      if (errno != EAGAIN && errno != EINTR) Fail(client, ErrnoText("recv"));
      return;
    }
    if (n == 0) {
      Fail(client, "the relay closed the stream");
      return;
    }
    now_ = MonotonicNs();
    if (arrival_ == 0) arrival_ = now_;
    const auto count = static_cast<size_t>(n);
    client.wire.fetch_add(count, std::memory_order_relaxed);
    if (!client.parser.Commit(count, client.onPart)) {
      Fail(client, "protocol error: " + client.parser.Error());
      return;
    }
    if (client.parser.HeadSeen()) client.headSeen.store(true, std::memory_order_release);
    if (config_.mode == StreamParser::Mode::Raw)
      client.payload.store(client.parser.RawBytes(), std::memory_order_relaxed);
    if (count < space.size()) return;  // drained for now
  }
}

void ClientSwarm::OnPart(Client& client, StreamParser::PartKind kind, std::string_view body) {
  if (kind == StreamParser::PartKind::KeepAlive) {
    ++client.keepAlives;
    return;
  }
  const Receipt::Verdict verdict = Receipt::Check(body, config_.receiptSize, content_);
  if (verdict.kind == Receipt::Kind::Corrupted) {
    // The boundary lines still frame the stream: note it and read on.
    ++client.corrupted;
    failures_.push_back("client " + std::to_string(client.number) + ": corrupted frame of " +
                        std::to_string(body.size()) + " bytes after receipt " +
                        std::to_string(client.tally.Highest()) + " (" + verdict.reason + ")");
    return;
  }
  client.tally.Receive(verdict.seq);
  client.frames.fetch_add(1, std::memory_order_relaxed);
  client.payload.fetch_add(config_.receiptSize, std::memory_order_relaxed);
  client.highest.store(client.tally.Highest(), std::memory_order_release);
  if (const auto written = config_.times->Find(verdict.seq)) {
    latency_.Add(now_ - *written);
    arrivalLatency_.Add(arrival_ - *written);
  } else {
    // The feeder thread has not noted the write yet: settled after the run.
    deferred_.push_back({verdict.seq, now_, arrival_, verdict.sentNs});
  }
}

void ClientSwarm::Fail(Client& client, std::string text) {
  if (client.failed.exchange(true)) return;
  epoll_ctl(epoll_, EPOLL_CTL_DEL, client.fd, nullptr);
  failures_.push_back("client " + std::to_string(client.number) + ": " + text);
}

std::string ClientSwarm::WaitHeads(double timeoutS) const {
  const int64_t deadline = MonotonicNs() + static_cast<int64_t>(timeoutS * 1e9);
  for (;;) {
    bool all = true;
    for (const auto& client : clients_) {
      if (client->failed)
        return "client " + std::to_string(client->number) + " got no response head";
      all = all && client->headSeen.load(std::memory_order_acquire);
    }
    if (all) return "";
    if (MonotonicNs() > deadline)
      return "not every client got its response head within " + std::to_string(timeoutS) + " s";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

ClientSwarm::Totals ClientSwarm::Snapshot() const {
  Totals totals;
  for (const auto& client : clients_) {
    totals.frames += client->frames.load(std::memory_order_relaxed);
    totals.payload += client->payload.load(std::memory_order_relaxed);
    totals.wire += client->wire.load(std::memory_order_relaxed);
  }
  clockid_t clock{};
  timespec used{};
  if (thread_.joinable() &&
      pthread_getcpuclockid(const_cast<std::thread&>(thread_).native_handle(), &clock) == 0 &&
      clock_gettime(clock, &used) == 0) {
    totals.cpuNs = static_cast<int64_t>(used.tv_sec) * 1000000000 + used.tv_nsec;
  }
  return totals;
}

bool ClientSwarm::CaughtUp(uint64_t lastSeq, uint64_t fedBytes) const {
  for (const auto& client : clients_) {
    if (client->failed) continue;
    const bool done = config_.mode == StreamParser::Mode::Raw
                          ? client->payload.load(std::memory_order_relaxed) >= fedBytes
                          : client->highest.load(std::memory_order_acquire) >= lastSeq;
    if (!done) return false;
  }
  return true;
}

ClientSwarm::Summary ClientSwarm::Finish(uint64_t lastSeq, uint64_t fedBytes) {
  Summary summary;
  summary.clients = static_cast<int>(clients_.size());
  summary.minDelivered = std::numeric_limits<uint64_t>::max();
  for (const auto& client : clients_) {
    const uint64_t delivered = client->frames.load();
    summary.delivered += delivered;
    summary.minDelivered = std::min(summary.minDelivered, delivered);
    summary.maxDelivered = std::max(summary.maxDelivered, delivered);
    summary.duplicated += client->tally.Duplicated();
    summary.corrupted += client->corrupted;
    summary.keepAlives += client->keepAlives;
    if (client->failed) {
      ++summary.protocolErrors;
      continue;
    }
    summary.incompleteBytes += client->parser.Buffered();
    if (config_.mode == StreamParser::Mode::Raw) {
      const uint64_t got = client->payload.load();
      summary.missingBytes += fedBytes > got ? fedBytes - got : 0;
    } else {
      summary.lost += client->tally.Lost(lastSeq);
    }
  }
  if (clients_.empty()) summary.minDelivered = 0;
  for (const Deferred& late : deferred_) {
    const int64_t written = config_.times->Find(late.seq).value_or(late.printedNs);
    latency_.Add(late.readNs - written);
    arrivalLatency_.Add(late.arrivalNs - written);
  }
  deferred_.clear();
  summary.errors = failures_;
  if (summary.errors.size() > kMaxErrors) summary.errors.resize(kMaxErrors);
  return summary;
}

}  // namespace tavrik::load
