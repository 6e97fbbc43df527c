#include "webaccess/BasicCredentials.h"

#include <cstdint>

namespace tavrik {
namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  std::string out;
  uint32_t bits = 0;
  int held = 0;
  for (const char c : text) {
    const int value = Base64Value(c);
    if (value < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out.push_back(static_cast<char>((bits >> held) & 0xFF));
    }
  }
  if (held >= 6) return std::nullopt;  // one character left over cannot make a byte
  return out;
}

bool IsBasicScheme(std::string_view scheme) {
  if (scheme.size() != 5) return false;
  constexpr std::string_view kBasic = "basic";
  for (size_t i = 0; i < scheme.size(); ++i) {
    if ((scheme[i] | 0x20) != kBasic[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<BasicCredentials> BasicCredentials::Parse(std::string_view field) {
  const size_t space = field.find(' ');
  if (space == std::string_view::npos || !IsBasicScheme(field.substr(0, space))) return std::nullopt;
  std::string_view token = field.substr(space + 1);
  while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
  const std::optional<std::string> decoded = DecodeBase64(token);
  if (!decoded) return std::nullopt;
  const size_t colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return BasicCredentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
  unsigned difference = a.size() == b.size() ? 0U : 1U;
  for (size_t i = 0; i < a.size(); ++i) {
    const char other = i < b.size() ? b[i] : '\0';
    difference |= static_cast<unsigned char>(a[i] ^ other);
  }
  return difference == 0;
}

}  // namespace tavrik
