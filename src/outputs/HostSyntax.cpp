#include "outputs/HostSyntax.h"

#include <algorithm>
#include <cctype>

namespace tavrik {
namespace {

bool AllOf(std::string_view text, int (*test)(int)) {
  return std::all_of(text.begin(), text.end(), [test](char c) { return test(static_cast<unsigned char>(c)) != 0; });
}

bool IsLabel(std::string_view label) {
  if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
  return std::all_of(label.begin(), label.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-'; });
}

}  // namespace

bool IsIpv4Address(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const size_t end = part < 3 ? text.find('.') : text.size();
    if (end == std::string_view::npos) return false;
    const std::string_view digits = text.substr(0, end);
    if (digits.empty() || digits.size() > 3 || !AllOf(digits, std::isdigit)) return false;
    if (digits.size() > 1 && digits.front() == '0') return false;
    int value = 0;
    for (const char c : digits) value = value * 10 + (c - '0');
    if (value > 255) return false;
    text.remove_prefix(part < 3 ? end + 1 : end);
  }
  return text.empty();
}

bool IsIpv6Address(std::string_view text) {
  const size_t zone = text.find('%');
  if (zone != std::string_view::npos) {
    if (zone + 1 == text.size()) return false;
    text = text.substr(0, zone);
  }
  int groups = 0;
  bool compressed = false;
  size_t at = 0;
  if (text.starts_with("::")) {
    compressed = true;
    at = 2;
  } else if (text.starts_with(":")) {
    return false;
  }
  while (at < text.size()) {
    const size_t end = text.find(':', at);
    const std::string_view group = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (end == std::string_view::npos && group.find('.') != std::string_view::npos) {
      if (!IsIpv4Address(group)) return false;
      groups += 2;
      break;
    }
    if (group.empty() || group.size() > 4 || !AllOf(group, std::isxdigit)) return false;
    ++groups;
    if (end == std::string_view::npos) break;
    at = end + 1;
    if (at == text.size()) return false;  // one colon at the end
    if (text[at] == ':') {
      if (compressed) return false;
      compressed = true;
      ++at;
    }
  }
  return compressed ? groups < 8 : groups == 8;
}

bool IsHostName(std::string_view text) {
  if (text.ends_with('.')) text.remove_suffix(1);
  if (text.empty() || text.size() > 253) return false;
  std::string_view last;
  while (true) {
    const size_t dot = text.find('.');
    last = text.substr(0, dot);
    if (!IsLabel(last)) return false;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return !AllOf(last, std::isdigit);
}

}  // namespace tavrik
