#pragma once
// Where the running executable lives.
#include <string>

namespace tavrik {

struct ExecutablePath {
  std::string folder;  // without a trailing separator
  std::string name;    // file name without extension
};

#ifdef _WIN32
inline constexpr const char* kPathSeparator = "\\";
#else
inline constexpr const char* kPathSeparator = "/";
#endif

// argv0 is the fallback where the system cannot say.
ExecutablePath LocateExecutable(const char* argv0);

// Where a file the relay writes (its log) goes: name in the executable's
// folder; on Linux a name that begins with '/' is an absolute path instead.
std::string FileBesideExecutable(const ExecutablePath& exe, const std::string& name);

}  // namespace tavrik
