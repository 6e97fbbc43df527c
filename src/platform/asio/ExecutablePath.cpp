#include "platform/ExecutablePath.h"

#include <filesystem>
#include <system_error>
#ifdef _WIN32
#include <windows.h>
#endif

namespace tavrik {

ExecutablePath LocateExecutable(const char* argv0) {
  std::filesystem::path path;
#ifdef _WIN32
  char buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) path = std::string(buffer, length);
#else
  std::error_code error;
  path = std::filesystem::read_symlink("/proc/self/exe", error);
#endif
  if (path.empty()) path = std::filesystem::absolute(argv0 ? argv0 : "TavrikSrv");
  return {path.parent_path().string(), path.stem().string()};
}

std::string FileBesideExecutable(const ExecutablePath& exe, const std::string& name) {
#ifndef _WIN32
  if (!name.empty() && name.front() == '/') return name;
#endif
  return exe.folder + kPathSeparator + name;
}

}  // namespace tavrik
