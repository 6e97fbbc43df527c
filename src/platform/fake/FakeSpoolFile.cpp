#include "platform/fake/FakeSpoolFile.h"

#include <algorithm>

namespace tavrik {
namespace {

PlatformError Missing() { return PlatformError(2, "No such file or directory"); }

}  // namespace

int64_t FakeSpoolFile::Length() {
  if (content_.failLength) throw *content_.failLength;
  if (!content_.exists) throw Missing();
  return static_cast<int64_t>(content_.bytes.size());
}

void FakeSpoolFile::ReadAt(int64_t offset, int64_t count, std::string& out) {
  if (content_.failRead) throw *content_.failRead;
  if (!content_.exists) throw Missing();
  const auto start = std::min(static_cast<size_t>(offset), content_.bytes.size());
  out.assign(content_.bytes, start, static_cast<size_t>(count));
  if (content_.onRead) content_.onRead();
}

bool FakeSpoolFile::TakeOver(int64_t offset, std::string& out) {
  if (!content_.exists) throw Missing();
  if (content_.heldByWriter) return false;
  const auto start = std::min(static_cast<size_t>(offset), content_.bytes.size());
  out.append(content_.bytes, start);
  content_.exists = false;
  content_.bytes.clear();
  ++content_.takeOvers;
  return true;
}

void FakeSpoolFile::ReadStragglers(std::string& out) {
  out += content_.stragglers;
  content_.stragglers.clear();
}

}  // namespace tavrik
