#pragma once
// The user and password of an "Authorization: Basic <base64>" field. Pure.
#include <optional>
#include <string>
#include <string_view>

namespace tavrik {

struct BasicCredentials {
  std::string user;
  std::string password;

  // Empty when the field is absent, of another scheme or malformed.
  static std::optional<BasicCredentials> Parse(std::string_view field);
};

// Equal bytes, in a time that does not tell where they first differ.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

}  // namespace tavrik
