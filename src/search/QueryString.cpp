#include "search/QueryString.h"

namespace tavrik {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Decode(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else {
      if (i + 2 >= text.size()) return false;
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return true;
}

}  // namespace

std::optional<std::vector<QueryParameter>> ParseQueryString(std::string_view query) {
  std::vector<QueryParameter> parameters;
  while (!query.empty()) {
    const size_t end = query.find('&');
    const std::string_view piece = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    if (piece.empty()) continue;
    const size_t equals = piece.find('=');
    QueryParameter& parameter = parameters.emplace_back();
    if (!Decode(piece.substr(0, equals), parameter.name)) return std::nullopt;
    if (equals != std::string_view::npos && !Decode(piece.substr(equals + 1), parameter.value)) {
      return std::nullopt;
    }
  }
  return parameters;
}

}  // namespace tavrik
