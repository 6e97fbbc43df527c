#include "platform/asio/win/WinSpoolFile.h"

#include <algorithm>
#include <utility>

#include "platform/asio/win/WinError.h"

namespace tavrik {
namespace {

constexpr DWORD kReadChunk = 65536;

// Closes a file handle when it goes out of scope.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { CloseHandle(handle_); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The file is open in another process that did not allow it to be renamed.
bool IsHeld(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

int64_t FileLength(HANDLE file, const std::string& path) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) throw WinFailure(GetLastError(), "Cannot measure " + path);
  return size.QuadPart;
}

}  // namespace

WinSpoolFile::WinSpoolFile(std::string path)
    : path_(std::move(path)),
      privatePath_(path_ + "." + std::to_string(GetCurrentProcessId()) + ".taken") {}

bool WinSpoolFile::Exists() {
  if (GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  if (IsMissing(error)) return false;
  throw WinFailure(error, "Cannot find " + path_);
}

int64_t WinSpoolFile::Length() {
  const FileHandle file(OpenForReading(path_));
  return FileLength(file.Get(), path_);
}

void WinSpoolFile::ReadAt(int64_t offset, int64_t count, std::string& out) {
  if (offset < 0 || count < 0) throw WinFailure(ERROR_NEGATIVE_SEEK, "Cannot read " + path_);
  const FileHandle file(OpenForReading(path_));
  std::string text;
  ReadRange(file.Get(), path_, offset, count, text);
  out = std::move(text);
}

bool WinSpoolFile::TakeOver(int64_t offset, std::string& out) {
  if (offset < 0) throw WinFailure(ERROR_NEGATIVE_SEEK, "Cannot read " + path_);
  // A leftover of an earlier run of a process with our id is ours to replace.
  if (!MoveFileExA(path_.c_str(), privatePath_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const DWORD error = GetLastError();
    if (IsHeld(error)) return false;
    if (IsMissing(error)) return true;  // someone else removed it already
    throw WinFailure(error, "Cannot take over " + path_);
  }
  try {
    const FileHandle file(OpenForReading(privatePath_));
    const int64_t length = FileLength(file.Get(), privatePath_);
    if (length > offset) ReadRange(file.Get(), privatePath_, offset, length - offset, out);
  } catch (...) {
    // Unread bytes stay on disk: back under the name if nobody took it meanwhile.
    MoveFileExA(privatePath_.c_str(), path_.c_str(), 0);
    throw;
  }
  // A writer that allowed the rename may still hold the file; it goes once
  // that writer lets go of it.
  DeleteFileA(privatePath_.c_str());
  return true;
}

void WinSpoolFile::ReadStragglers(std::string&) {
  // Nothing to do: a file taken over is read to its end and deleted at once.
}

HANDLE WinSpoolFile::OpenForReading(const std::string& path) const {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw WinFailure(GetLastError(), "Cannot open " + path);
  return file;
}

void WinSpoolFile::ReadRange(HANDLE file, const std::string& path, int64_t offset, int64_t count,
                             std::string& out) const {
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(count));
  size_t done = 0;
  while (done < static_cast<size_t>(count)) {
    // The offset travels in the OVERLAPPED block, 64 bits wide.
    const auto at = static_cast<uint64_t>(offset) + done;
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    const auto wanted =
        static_cast<DWORD>(std::min<size_t>(static_cast<size_t>(count) - done, kReadChunk));
    DWORD got = 0;
    if (!ReadFile(file, out.data() + start + done, wanted, &got, &position)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      out.resize(start);
      throw WinFailure(error, "Cannot read " + path);
    }
    if (got == 0) break;  // the file is shorter: what is there is the answer
    done += got;
  }
  out.resize(start + done);
}

}  // namespace tavrik
