#pragma once
// A users file in htpasswd's format, one "user:hash" a line, with bcrypt
// hashes ($2y$, $2b$ or $2a$) as "htpasswd -B" makes them. Blank lines and
// lines starting with # are skipped. Every other line, another kind of hash,
// a user named twice or a file without users is an error naming the file
// and the line.
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavrik {

struct UserEntry {
  std::string name;
  std::string hash;
};

struct UsersFileError {
  std::string message;  // "users:3: ..."
};

// Pure: the file's text as read.
std::variant<std::vector<UserEntry>, UsersFileError> ParseUsersFile(std::string_view text, std::string_view fileName);
// Reads the file at start-up; unreadable is an error too.
std::variant<std::vector<UserEntry>, UsersFileError> LoadUsersFile(const std::string& path);

}  // namespace tavrik
