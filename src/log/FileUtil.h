#pragma once
// The file operations the logger needs: append and measure, split a path,
// rename. Failures throw PlatformError naming the path. Paths use '/' or '\'
// as separators, so Windows paths split the same way everywhere.
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrik {

// Appends text, byte for byte, to the end of the file at path, creating it if
// it does not exist. On success fileSize is the file's size measured after
// the write (0 for a device such as /dev/null, which has none). A failed write
// is taken back as far as the file system allows, so that a retry does not
// repeat a part of the text; fileSize is then left unchanged.
void AppendToFile(const std::string& path, std::string_view text, int64_t& fileSize);

// "Debug" for ".../Debug.log".
std::string PathBaseName(std::string_view path);
// ".../" for ".../Debug.log": the folder with its trailing separator, or
// empty for a bare file name.
std::string PathFolder(std::string_view path);
// "log" for ".../Debug.log"; empty when the name has no extension.
std::string PathExtension(std::string_view path);

// Moves the file at from onto to, replacing a file already at to; afterwards
// nothing is at from. Only a regular file is moved: a missing path, a folder
// or a device such as /dev/null is left alone, and that is not a failure.
void MoveRegularFile(const std::string& from, const std::string& to);

}  // namespace tavrik
