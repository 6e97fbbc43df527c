#include "webaccess/UsersFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tavrik {
namespace {

// $2y$NN$ and 53 characters of bcrypt's alphabet: 22 of salt, 31 of hash.
bool IsBcryptHash(std::string_view hash) {
  constexpr size_t kLength = 60;
  if (hash.size() != kLength || hash.substr(0, 2) != "$2" || hash[3] != '$' || hash[6] != '$') return false;
  if (hash[2] != 'y' && hash[2] != 'b' && hash[2] != 'a') return false;
  if (hash[4] < '0' || hash[4] > '3' || hash[5] < '0' || hash[5] > '9') return false;
  const int cost = (hash[4] - '0') * 10 + (hash[5] - '0');
  if (cost < 4 || cost > 31) return false;
  return std::all_of(hash.begin() + 7, hash.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '/';
  });
}

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

std::variant<std::vector<UserEntry>, UsersFileError> ParseUsersFile(std::string_view text, std::string_view fileName) {
  std::vector<UserEntry> users;
  size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const auto fail = [&](const std::string& what) {
      return UsersFileError{std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + what};
    };
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos || HasControlCharacter(line)) {
      return fail("not a user:hash line");
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view hash = line.substr(colon + 1);
    if (!IsBcryptHash(hash)) return fail("user " + std::string(name) + ": not a bcrypt hash (make it with htpasswd -B)");
    if (std::any_of(users.begin(), users.end(), [&](const UserEntry& user) { return user.name == name; })) {
      return fail("user " + std::string(name) + " given twice");
    }
    users.push_back({std::string(name), std::string(hash)});
  }
  if (users.empty()) return UsersFileError{std::string(fileName) + ": holds no users"};
  return users;
}

std::variant<std::vector<UserEntry>, UsersFileError> LoadUsersFile(const std::string& path) {
  const UsersFileError unreadable{path + ": cannot read the users file"};
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return unreadable;
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  if (!file || file.bad()) return unreadable;
  return ParseUsersFile(text.str(), path);
}

}  // namespace tavrik
