#pragma once
// A spool file that another program appends to. Every call opens the file,
// does its work and closes it again; nothing here ever creates the file.
// Failures throw PlatformError.
#include <cstdint>
#include <string>

namespace tavrik {

class SpoolFile {
 public:
  virtual ~SpoolFile() = default;
  virtual bool Exists() = 0;
  virtual int64_t Length() = 0;
  // Replaces out with the count bytes that start at offset.
  virtual void ReadAt(int64_t offset, int64_t count, std::string& out) = 0;
  // When no other process holds the file open: removes it from its name and
  // appends to out every byte from offset to its end, then returns true.
  // While another process holds it open the file is left alone: false.
  virtual bool TakeOver(int64_t offset, std::string& out) = 0;
  // Appends to out what writers added to files already taken over (a writer
  // whose open raced the take-over); such files are let go once released.
  virtual void ReadStragglers(std::string& out) = 0;
};

}  // namespace tavrik
