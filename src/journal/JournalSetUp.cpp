#include "journal/JournalSetUp.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace tavrik {

std::optional<std::string> JournalFolderProblem(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path file(path);
  std::error_code error;
  if (fs::is_directory(file, error)) return "is a folder";
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, error)) return "folder " + folder.string() + " does not exist";
  const fs::path probe = folder / ".tavrik-journal-write-check";
  bool written = false;
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    written = static_cast<bool>(out << 'x') && static_cast<bool>(out.flush());
  }
  fs::remove(probe, error);
  if (!written) return "folder " + folder.string() + " cannot be written";
  return std::nullopt;
}

}  // namespace tavrik
