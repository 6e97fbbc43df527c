#include "load/FanOut.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "load/Loopback.h"
#include "load/MonotonicClock.h"
#include "load/StreamParser.h"

namespace tavrik::load {
namespace {

constexpr uint64_t kSourceListenerTag = ~uint64_t{0};
constexpr uint64_t kClientListenerTag = ~uint64_t{0} - 1;
constexpr uint64_t kSourceTag = ~uint64_t{0} - 2;
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kPauseAt = 256 * 1024;
constexpr size_t kStalledCap = 4 * 1024 * 1024;
constexpr int64_t kStallNs = 500'000'000;

bool Add(int epoll, int fd, uint32_t events, uint64_t tag) {
  epoll_event event{};
  event.events = events;
  event.data.u64 = tag;
  return epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

void Modify(int epoll, int fd, uint32_t events, uint64_t tag) {
  epoll_event event{};
  event.events = events;
  event.data.u64 = tag;
  epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
}

}  // namespace

FanOut::FanOut(int sourcePort, int clientPort)
    : sourcePort_(sourcePort), clientPort_(clientPort), readBuffer_(kReadChunk) {}

int FanOut::Run() {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  sourceListener_ = ListenLoopback(sourcePort_);
  clientListener_ = ListenLoopback(clientPort_);
  if (epoll_ < 0 || sourceListener_ < 0 || clientListener_ < 0 ||
      !Add(epoll_, sourceListener_, EPOLLIN, kSourceListenerTag) ||
      !Add(epoll_, clientListener_, EPOLLIN, kClientListenerTag)) {
    std::perror("fan-out set-up");
    return 2;
  }
  std::vector<epoll_event> events(64);
  for (;;) {
    const int n = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 100);
    if (n < 0 && errno != EINTR) {
      std::perror("epoll_wait");
      return 2;
    }
    for (int i = 0; i < n; ++i) {
      const epoll_event& event = events[static_cast<size_t>(i)];
      const uint64_t tag = event.data.u64;
      if (tag == kSourceListenerTag) {
        AcceptSource();
      } else if (tag == kClientListenerTag) {
        AcceptClient();
      } else if (tag == kSourceTag) {
        ReadSource();
      } else if (tag < clients_.size() && clients_[tag].fd >= 0) {
        if (event.events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadClient(tag);
        if (clients_[tag].fd >= 0 && (event.events & EPOLLOUT)) Flush(tag);
      }
    }
    UpdateSourcePause(MonotonicNs());
  }
}

void FanOut::AcceptSource() {
  const int fd = accept4(sourceListener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  if (source_ >= 0) {
    close(fd);  // one source peer at a time
    return;
  }
  source_ = fd;
  sourcePaused_ = false;
  Add(epoll_, source_, EPOLLIN, kSourceTag);
}

void FanOut::AcceptClient() {
  const int fd = accept4(clientListener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  SetNoDelay(fd);  // as the relay does
  Client client;
  client.fd = fd;
  client.lastProgress = MonotonicNs();
  clients_.push_back(std::move(client));
  Add(epoll_, fd, EPOLLIN, clients_.size() - 1);
}

void FanOut::ReadSource() {
  for (int round = 0; round < 4 && !sourcePaused_; ++round) {
    const ssize_t n = read(source_, readBuffer_.data(), readBuffer_.size());
    if (n > 0) {
      Distribute(readBuffer_.data(), static_cast<size_t>(n));
      UpdateSourcePause(MonotonicNs());
      if (static_cast<size_t>(n) < readBuffer_.size()) return;
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    close(source_);  // the peer is done: the next one may connect
    source_ = -1;
    return;
  }
}

void FanOut::ReadClient(size_t index) {
  Client& client = clients_[index];
  char request[4096];
  const ssize_t n = read(client.fd, request, sizeof request);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return CloseClient(index);
  if (n < 0 || client.headSent) return;
  client.headSent = true;
  client.pending.assign(StreamParser::kHead);
  client.sent = 0;
  Flush(index);
}

void FanOut::Distribute(const char* data, size_t size) {
  for (size_t i = 0; i < clients_.size(); ++i) {
    Client& client = clients_[i];
    if (client.fd < 0 || !client.headSent) continue;
    if (client.stalled && client.Unsent() >= kStalledCap) continue;  // dropped for it
    if (client.Unsent() > 0) {
      client.pending.append(data, size);
      continue;
    }
    const ssize_t n = send(client.fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      CloseClient(i);
      continue;
    }
    const size_t done = n > 0 ? static_cast<size_t>(n) : 0;
    if (done > 0) client.lastProgress = MonotonicNs();
    if (done < size) {
      client.pending.assign(data + done, size - done);
      client.sent = 0;
      WatchWrites(i, true);
    }
  }
}

void FanOut::Flush(size_t index) {
  Client& client = clients_[index];
  while (client.Unsent() > 0) {
    const ssize_t n =
        send(client.fd, client.pending.data() + client.sent, client.Unsent(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) break;
      return CloseClient(index);
    }
    client.sent += static_cast<size_t>(n);
    client.lastProgress = MonotonicNs();
  }
  if (client.Unsent() == 0) {
    client.pending.clear();
    client.sent = 0;
    client.stalled = false;
    WatchWrites(index, false);
  } else {
    if (client.sent > client.pending.size() / 2) {
      client.pending.erase(0, client.sent);
      client.sent = 0;
    }
    WatchWrites(index, true);
  }
}

void FanOut::CloseClient(size_t index) {
  Client& client = clients_[index];
  epoll_ctl(epoll_, EPOLL_CTL_DEL, client.fd, nullptr);
  close(client.fd);
  client = Client();
}

void FanOut::WatchWrites(size_t index, bool on) {
  Modify(epoll_, clients_[index].fd, on ? EPOLLIN | EPOLLOUT : EPOLLIN, index);
}

void FanOut::UpdateSourcePause(int64_t now) {
  if (source_ < 0) return;
  bool pause = false;
  for (Client& client : clients_) {
    if (client.fd < 0 || client.Unsent() < kPauseAt) continue;
    if (!client.stalled && now - client.lastProgress > kStallNs) client.stalled = true;
    if (!client.stalled) pause = true;
  }
  if (pause == sourcePaused_) return;
  sourcePaused_ = pause;
  Modify(epoll_, source_, pause ? 0u : static_cast<uint32_t>(EPOLLIN), kSourceTag);
}

}  // namespace tavrik::load
