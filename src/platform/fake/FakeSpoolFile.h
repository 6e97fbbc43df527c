#pragma once
// Spool file kept in memory; the test plays the writing program.
#include <functional>
#include <optional>
#include <string>

#include "platform/PlatformError.h"
#include "platform/SpoolFile.h"

namespace tavrik {

struct FakeSpoolContent {
  bool exists = false;
  std::string bytes;
  bool heldByWriter = false;  // another process holds the file open
  std::string stragglers;     // bytes a racing writer added after a take-over
  std::optional<PlatformError> failLength;
  std::optional<PlatformError> failRead;
  int takeOvers = 0;
  std::function<void()> onRead;  // runs in each ReadAt: a read that takes time
};

class FakeSpoolFile : public SpoolFile {
 public:
  explicit FakeSpoolFile(FakeSpoolContent& content) : content_(content) {}
  bool Exists() override { return content_.exists; }
  int64_t Length() override;
  void ReadAt(int64_t offset, int64_t count, std::string& out) override;
  bool TakeOver(int64_t offset, std::string& out) override;
  void ReadStragglers(std::string& out) override;

 private:
  FakeSpoolContent& content_;
};

}  // namespace tavrik
