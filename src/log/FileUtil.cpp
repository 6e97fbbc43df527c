#include "log/FileUtil.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/PlatformError.h"

namespace tavrik {
namespace fs = std::filesystem;
namespace {

PlatformError Failure(int number, const std::string& what) {
  return PlatformError(number, what + ": " + std::generic_category().message(number));
}

// Offset of the file name inside path.
size_t NameStart(std::string_view path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? 0 : separator + 1;
}

// Offset of the dot before the extension, or npos. A leading dot (".profile")
// belongs to the name.
size_t ExtensionDot(std::string_view path) {
  const size_t start = NameStart(path);
  const size_t dot = path.rfind('.');
  return dot == std::string_view::npos || dot <= start ? std::string_view::npos : dot;
}

}  // namespace

void AppendToFile(const std::string& path, std::string_view text, int64_t& fileSize) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  // Opening a FIFO for writing waits for a reader: that would stall the event thread.
  if (fs::is_fifo(status)) throw Failure(EINVAL, "Cannot append to '" + path + "'");
  // A device has no size and nothing to take back.
  std::error_code sizeError;
  const std::uintmax_t sizeBefore = fs::exists(status) ? fs::file_size(path, sizeError) : 0;

  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) throw Failure(errno, "Cannot open '" + path + "'");
  errno = 0;
  bool written =
      std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  int number = errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    number = errno;
  }
  if (!written) {
    if (!sizeError && fs::is_regular_file(path, ec)) fs::resize_file(path, sizeBefore, ec);
    throw Failure(number != 0 ? number : EIO, "Cannot write to '" + path + "'");
  }

  const std::uintmax_t size = fs::file_size(path, ec);
  fileSize = ec ? 0 : static_cast<int64_t>(size);
}

std::string PathBaseName(std::string_view path) {
  const size_t start = NameStart(path);
  const size_t dot = ExtensionDot(path);
  return std::string(
      path.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
}

std::string PathFolder(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

std::string PathExtension(std::string_view path) {
  const size_t dot = ExtensionDot(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

void MoveRegularFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::status(from, ec))) return;
  fs::rename(from, to, ec);
  if (ec) throw Failure(ec.value(), "Cannot rename '" + from + "' to '" + to + "'");
}

}  // namespace tavrik
