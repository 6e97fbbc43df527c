#include "load/Loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "load/MonotonicClock.h"

namespace tavrik::load {
namespace {

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

const sockaddr* AsSockaddr(const sockaddr_in& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

int BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

}  // namespace

std::pair<int, int> FreePortPair() {
  // Both stay bound until both are known, so the two differ.
  const int first = ListenLoopback(0);
  const int second = ListenLoopback(0);
  const std::pair<int, int> ports{first < 0 ? 0 : BoundPort(first),
                                  second < 0 ? 0 : BoundPort(second)};
  if (first >= 0) close(first);
  if (second >= 0) close(second);
  return ports;
}

int ConnectLoopback(int port, double timeoutS) {
  const int64_t deadline = MonotonicNs() + static_cast<int64_t>(timeoutS * 1e9);
  const sockaddr_in address = LoopbackAddress(port);
  for (;;) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, AsSockaddr(address), sizeof address) == 0) return fd;
    const int error = errno;
    close(fd);
    if ((error != ECONNREFUSED && error != EINTR) || MonotonicNs() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

int ListenLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in address = LoopbackAddress(port);
  if (bind(fd, AsSockaddr(address), sizeof address) != 0 || listen(fd, 64) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void SetNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void SetNoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SendAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ErrnoText(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

void StampArrivals(int fd) {
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

ssize_t ReceiveStamped(int fd, std::span<char> into, int64_t& arrivalNs) {
  iovec data{into.data(), into.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = recvmsg(fd, &message, 0);
  arrivalNs = 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); n > 0 && c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
    timespec stamp{};
    std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
    // The stamp is wall-clock time.
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    const int64_t age = (static_cast<int64_t>(wall.tv_sec) - stamp.tv_sec) * 1000000000 +
                        (wall.tv_nsec - stamp.tv_nsec);
    arrivalNs = MonotonicNs() - age;
  }
  return n;
}

}  // namespace tavrik::load
