#pragma once
// The spool file on Windows. Every read opens the file sharing read, write
// and delete, so that the writer is never refused, and never creates it.
// Taking the file over renames it to a private name in its folder first: the
// rename fails while another process holds the file open without sharing
// delete, and a writer that opens the name afterwards starts a fresh file, so
// whatever is read from the renamed file is all it will ever hold. Nothing
// stays open between calls, so there are no stragglers. Event thread only.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/SpoolFile.h"

namespace tavrik {

class WinSpoolFile : public SpoolFile {
 public:
  explicit WinSpoolFile(std::string path);

  bool Exists() override;
  int64_t Length() override;
  void ReadAt(int64_t offset, int64_t count, std::string& out) override;
  bool TakeOver(int64_t offset, std::string& out) override;
  void ReadStragglers(std::string& out) override;

  // Where a file is renamed to while it is read for the last time.
  const std::string& PrivatePath() const { return privatePath_; }

 private:
  HANDLE OpenForReading(const std::string& path) const;
  // Appends the count bytes from offset (fewer where the file ends); on a
  // failure out is left as it was.
  void ReadRange(HANDLE file, const std::string& path, int64_t offset, int64_t count,
                 std::string& out) const;

  std::string path_;
  std::string privatePath_;
};

}  // namespace tavrik
