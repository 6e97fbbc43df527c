#include "platform/SerialSettings.h"

#include <charconv>
#include <string_view>
#include <vector>

#include "platform/ErrorNumbers.h"

namespace tavrik {
namespace {

std::string_view Trim(std::string_view field) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!field.empty() && blank(field.front())) field.remove_prefix(1);
  while (!field.empty() && blank(field.back())) field.remove_suffix(1);
  return field;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const auto comma = text.find(',');
    fields.push_back(Trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

// Digits only: from_chars alone would also take a sign.
bool ParsePositive(std::string_view field, int& value) {
  if (field.empty() || field.front() < '0' || field.front() > '9') return false;
  const char* end = field.data() + field.size();
  const auto result = std::from_chars(field.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && value > 0;
}

bool ParseParity(std::string_view field, char& parity) {
  if (field.size() != 1) return false;
  char c = field.front();
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (std::string_view("neoms").find(c) == std::string_view::npos) return false;
  parity = c;
  return true;
}

bool ParseStopBits(std::string_view field, int& timesTen) {
  if (field == "1") {
    timesTen = 10;
  } else if (field == "1.5") {
    timesTen = 15;
  } else if (field == "2") {
    timesTen = 20;
  } else {
    return false;
  }
  return true;
}

}  // namespace

SerialSettings ParseSerialSettings(const std::string& text) {
  SerialSettings settings{};
  const auto fields = SplitFields(text);
  const bool valid = fields.size() == 4 && ParsePositive(fields[0], settings.baud) &&
                     ParseParity(fields[1], settings.parity) &&
                     ParsePositive(fields[2], settings.dataBits) && settings.dataBits >= 5 &&
                     settings.dataBits <= 8 && ParseStopBits(fields[3], settings.stopBitsTimesTen);
  if (!valid) {
    throw PlatformError(errors::kInvalidPropertyValue,
                        "Invalid property value: serial settings '" + text +
                            "' (expected baud,parity,data bits,stop bits such as 9600,n,8,1)");
  }
  return settings;
}

}  // namespace tavrik
