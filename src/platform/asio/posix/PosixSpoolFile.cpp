#include "platform/asio/posix/PosixSpoolFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/PlatformError.h"

namespace tavrik {
namespace {

static_assert(sizeof(off_t) == 8, "files beyond 2 GiB need 64-bit file offsets");

constexpr size_t kReadChunk = 65536;

// Owns a descriptor until it is released or goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

PlatformError Failure(int number, const char* action, const std::string& path) {
  return PlatformError(number,
                       action + (" " + path) + ": " + std::generic_category().message(number));
}

// A lease break is announced to the holder with SIGIO, whose default action
// ends the process. This daemon has no other use for SIGIO, so it is ignored
// for the whole process (and inherited by any child) unless someone installed
// a handler; setting F_SETSIG to 0 would only select SIGIO again.
void IgnoreLeaseBreakSignal() {
  static const bool ignored = [] {
    struct sigaction current {};
    if (sigaction(SIGIO, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return false;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    return sigaction(SIGIO, &ignore, nullptr) == 0;
  }();
  static_cast<void>(ignored);
}

bool IsNumber(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

using Folder = std::unique_ptr<DIR, int (*)(DIR*)>;

Folder OpenFolder(const std::string& path) {
  return Folder(opendir(path.c_str()), &closedir);
}

}  // namespace

PosixSpoolFile::PosixSpoolFile(std::string path, HolderCheck check, std::chrono::milliseconds grace)
    : path_(std::move(path)), check_(check), grace_(grace) {
  if (check_ == HolderCheck::kLease) IgnoreLeaseBreakSignal();
}

PosixSpoolFile::~PosixSpoolFile() {
  for (const Straggler& file : stragglers_) close(file.fd);
}

bool PosixSpoolFile::Exists() {
  struct stat info {};
  if (stat(path_.c_str(), &info) == 0) return true;
  if (errno == ENOENT || errno == ENOTDIR) return false;
  throw Failure(errno, "Cannot find", path_);
}

int64_t PosixSpoolFile::Length() {
  const Descriptor file(OpenForReading());
  struct stat info {};
  if (fstat(file.Get(), &info) != 0) throw Failure(errno, "Cannot measure", path_);
  return info.st_size;
}

void PosixSpoolFile::ReadAt(int64_t offset, int64_t count, std::string& out) {
  if (offset < 0 || count < 0) throw Failure(EINVAL, "Cannot read", path_);
  const Descriptor file(OpenForReading());
  std::string text(static_cast<size_t>(count), '\0');
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = pread(file.Get(), text.data() + done, text.size() - done,
                            offset + static_cast<off_t>(done));
    if (n == 0) break;  // the file is shorter: what is there is the answer
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Failure(errno, "Cannot read", path_);
    }
    done += static_cast<size_t>(n);
  }
  text.resize(done);
  out = std::move(text);
}

bool PosixSpoolFile::TakeOver(int64_t offset, std::string& out) {
  if (offset < 0) throw Failure(EINVAL, "Cannot read", path_);
  stragglers_.reserve(stragglers_.size() + 1);  // so that keeping the file below cannot fail
  Descriptor file(OpenForReading());
  const Claim claim = ClaimFile(file.Get());
  if (claim == Claim::kHeld) return false;
  bool removed = false;
  try {
    removed = RemoveName(file.Get(), claim == Claim::kLeased);
  } catch (...) {
    if (claim == Claim::kLeased) ReleaseLease(file.Get());
    throw;
  }
  if (!removed) {
    ReleaseLease(file.Get());
    return false;
  }
  // The file has no name any more. While the lease lasts, an open that found
  // the name just before the removal waits for us; once the lease is gone it
  // completes and its writer appends to this file. An open racing the /proc
  // scan is not even held up. So every file taken over is kept for a while.
  stragglers_.push_back({file.Release(), offset, std::chrono::steady_clock::now()});
  Straggler& taken = stragglers_.back();
  try {
    ReadToEnd(taken, out);
  } catch (const PlatformError&) {
    // The file is gone from its name all the same; ReadStragglers tries again.
  } catch (...) {
    if (claim == Claim::kLeased) ReleaseLease(taken.fd);
    throw;
  }
  if (claim == Claim::kLeased) ReleaseLease(taken.fd);
  return true;
}

void PosixSpoolFile::ReadStragglers(std::string& out) {
  for (auto it = stragglers_.begin(); it != stragglers_.end();) {
    // Asked before reading: a file nobody holds cannot grow after the read.
    const Claim claim = ClaimFile(it->fd);
    const int64_t before = it->position;
    try {
      ReadToEnd(*it, out);
    } catch (...) {
      // A file that cannot be read is let go, or it would fail every poll.
      if (claim == Claim::kLeased) ReleaseLease(it->fd);
      close(it->fd);
      stragglers_.erase(it);
      throw;
    }
    bool held = claim == Claim::kHeld;
    if (claim == Claim::kLeased) {
      held = LeaseBreakPending(it->fd);
      ReleaseLease(it->fd);
    }
    const bool late = std::chrono::steady_clock::now() - it->takenOver >= grace_;
    if (!held && it->position == before && late) {
      close(it->fd);
      it = stragglers_.erase(it);
    } else {
      ++it;
    }
  }
}

bool PosixSpoolFile::OtherDescriptorsOpen(int fd) {
  struct stat target {};
  if (fstat(fd, &target) != 0) return true;
  const Folder processes = OpenFolder("/proc");
  if (!processes) return true;
  const std::string self = std::to_string(getpid());
  const std::string ours = std::to_string(fd);
  while (const dirent* process = readdir(processes.get())) {
    if (!IsNumber(process->d_name)) continue;
    const std::string pid = process->d_name;
    // Gone meanwhile, or another user's process that we may not look into.
    const Folder descriptors = OpenFolder("/proc/" + pid + "/fd");
    if (!descriptors) continue;
    while (const dirent* descriptor = readdir(descriptors.get())) {
      if (!IsNumber(descriptor->d_name)) continue;
      if (pid == self && descriptor->d_name == ours) continue;
      struct stat info {};
      if (fstatat(dirfd(descriptors.get()), descriptor->d_name, &info, 0) == 0 &&
          info.st_dev == target.st_dev && info.st_ino == target.st_ino) {
        return true;
      }
    }
  }
  return false;
}

int PosixSpoolFile::OpenForReading() const {
  // O_NONBLOCK: an open that would have to wait (for another program's lease,
  // or for a writer if the path is a FIFO) fails instead of stalling the poll.
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw Failure(errno, "Cannot open", path_);
  return fd;
}

PosixSpoolFile::Claim PosixSpoolFile::ClaimFile(int fd) const {
  if (check_ == HolderCheck::kLease) {
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) return Claim::kLeased;
    // EAGAIN: another open file description exists. Any other refusal (not
    // the owner, a file system without leases) leaves the question to /proc.
    if (errno == EAGAIN) return Claim::kHeld;
  }
  return OtherDescriptorsOpen(fd) ? Claim::kHeld : Claim::kFree;
}

bool PosixSpoolFile::LeaseBreakPending(int fd) const {
  // During a break the lease reads as what it is being broken down to.
  return fcntl(fd, F_GETLEASE) != F_WRLCK;
}

void PosixSpoolFile::ReleaseLease(int fd) const {
  fcntl(fd, F_SETLEASE, F_UNLCK);
}

bool PosixSpoolFile::RemoveName(int fd, bool leased) const {
  struct stat ours {};
  if (fstat(fd, &ours) != 0) throw Failure(errno, "Cannot measure", path_);
  struct stat named {};
  if (stat(path_.c_str(), &named) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;  // someone else removed it already
    throw Failure(errno, "Cannot find", path_);
  }
  // The name leads to another file by now, which is not ours to remove.
  if (named.st_dev != ours.st_dev || named.st_ino != ours.st_ino) return true;
  // A writer already opening the file would write to it once the lease is
  // gone, while its next open starts the new file that may be read first; so
  // the file counts as held. Asked last, to leave an open the least time to
  // slip in between.
  if (leased && LeaseBreakPending(fd)) return false;
  if (unlink(path_.c_str()) != 0 && errno != ENOENT) throw Failure(errno, "Cannot delete", path_);
  return true;
}

void PosixSpoolFile::ReadToEnd(Straggler& file, std::string& out) const {
  struct stat info {};
  if (fstat(file.fd, &info) == 0 && info.st_size > file.position) {
    out.reserve(out.size() + static_cast<size_t>(info.st_size - file.position));
  }
  for (;;) {
    const size_t used = out.size();
    out.resize(used + kReadChunk);
    const ssize_t n = pread(file.fd, out.data() + used, kReadChunk, file.position);
    const int error = errno;
    out.resize(used + static_cast<size_t>(n > 0 ? n : 0));
    if (n == 0) return;
    if (n < 0) {
      if (error == EINTR) continue;
      throw Failure(error, "Cannot read", path_);
    }
    file.position += n;
  }
}

}  // namespace tavrik
