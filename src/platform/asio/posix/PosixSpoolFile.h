#pragma once
// The spool file on Linux. Linux lets a file be deleted while a writer still
// holds it open, and what that writer adds afterwards would be lost; so, as on
// Windows, a file that another process holds open is never taken over. Files
// taken over stay open here as stragglers until no writer can reach them any
// more; a poll that reads them before the file under the name keeps a late
// writer's bytes ahead of its next file's. Used on the event thread only.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SpoolFile.h"

namespace tavrik {

class PosixSpoolFile : public SpoolFile {
 public:
  // How other holders of the file are found: a write lease, which only the
  // file's owner (or a process with CAP_LEASE) can take, with a scan of /proc
  // wherever the lease is refused; or the scan alone.
  enum class HolderCheck { kLease, kProcScan };

  // An open that found the name just before a take-over can complete a while
  // later (its process may be preempted in between), so a file taken over is
  // kept at least this long, even when nobody holds it and nothing is added.
  static constexpr std::chrono::milliseconds kDefaultGrace{1000};

  explicit PosixSpoolFile(std::string path, HolderCheck check = HolderCheck::kLease,
                          std::chrono::milliseconds grace = kDefaultGrace);
  ~PosixSpoolFile() override;
  PosixSpoolFile(const PosixSpoolFile&) = delete;
  PosixSpoolFile& operator=(const PosixSpoolFile&) = delete;

  bool Exists() override;
  int64_t Length() override;
  void ReadAt(int64_t offset, int64_t count, std::string& out) override;
  bool TakeOver(int64_t offset, std::string& out) override;
  void ReadStragglers(std::string& out) override;

  // True when a descriptor other than fd, in any process that /proc lets us
  // see, refers to the file that fd refers to. Also true when /proc cannot be
  // read at all, since then nobody can be ruled out.
  static bool OtherDescriptorsOpen(int fd);

 private:
  enum class Claim { kHeld, kFree, kLeased };
  struct Straggler {
    int fd;
    int64_t position;  // bytes already read
    std::chrono::steady_clock::time_point takenOver;
  };

  int OpenForReading() const;
  Claim ClaimFile(int fd) const;
  bool LeaseBreakPending(int fd) const;
  void ReleaseLease(int fd) const;
  bool RemoveName(int fd, bool leased) const;
  void ReadToEnd(Straggler& file, std::string& out) const;

  std::string path_;
  HolderCheck check_;
  std::chrono::milliseconds grace_;
  std::vector<Straggler> stragglers_;
};

}  // namespace tavrik
