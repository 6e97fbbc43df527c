#include "outputs/ReceiptFormat.h"

#include <cstdint>

namespace tavrik {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Reads the UTF-8 character at text[at]; advances at. kInvalid for a byte
// that starts no valid sequence (at then moves by one byte).
char32_t NextCharacter(std::string_view text, size_t& at) {
  const auto lead = static_cast<uint8_t>(text[at++]);
  if (lead < 0x80) return lead;
  size_t more = 0;
  char32_t value = 0;
  if ((lead & 0xE0) == 0xC0) {
    more = 1;
    value = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    more = 2;
    value = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    more = 3;
    value = lead & 0x07u;
  } else {
    return kInvalid;
  }
  if (text.size() - at < more) return kInvalid;
  for (size_t i = 0; i < more; ++i) {
    const auto next = static_cast<uint8_t>(text[at + i]);
    if ((next & 0xC0) != 0x80) return kInvalid;
    value = (value << 6) | (next & 0x3Fu);
  }
  at += more;
  return value;
}

void Encode(std::string_view character, char32_t value, TextEncoding encoding, std::string& out) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      if (value == kInvalid) {
        out += '?';
      } else {
        out += character;
      }
      break;
    case TextEncoding::kLatin1:
      out += value <= 0xFF ? static_cast<char>(value) : '?';
      break;
    case TextEncoding::kAscii:
      out += value <= 0x7F ? static_cast<char>(value) : '?';
      break;
  }
}

// Writes line (without its '\n'), wrapped, each piece ended by the line end.
void WriteLine(std::string_view line, int32_t wrap, const TextFormat& format, std::string& out) {
  int32_t column = 0;
  for (size_t at = 0; at < line.size();) {
    if (wrap > 0 && column == wrap) {
      out += format.lineEnd;
      column = 0;
    }
    const size_t from = at;
    const char32_t value = NextCharacter(line, at);
    Encode(line.substr(from, at - from), value, format.encoding, out);
    ++column;
  }
  out += format.lineEnd;
}

bool HasVisibleCharacter(std::string_view text) {
  return text.find_first_not_of(" \n") != std::string_view::npos;
}

}  // namespace

void FormatReceipt(std::string_view text, const TextFormat& format, std::string& out) {
  out.clear();
  if (!HasVisibleCharacter(text)) return;
  if (!format.start.empty()) WriteLine(format.start, 0, format, out);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    WriteLine(text.substr(0, end), format.wrap, format, out);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  if (!format.end.empty()) WriteLine(format.end, 0, format, out);
}

std::vector<std::string_view> SplitDatagrams(std::string_view formatted, std::string_view lineEnd, size_t limit) {
  std::vector<std::string_view> datagrams;
  if (limit == 0) return {formatted};
  while (formatted.size() > limit) {
    // The last line end that ends within the limit.
    size_t cut = std::string_view::npos;
    if (!lineEnd.empty() && limit >= lineEnd.size()) cut = formatted.rfind(lineEnd, limit - lineEnd.size());
    cut = cut == std::string_view::npos ? limit : cut + lineEnd.size();
    datagrams.push_back(formatted.substr(0, cut));
    formatted.remove_prefix(cut);
  }
  if (!formatted.empty()) datagrams.push_back(formatted);
  return datagrams;
}

}  // namespace tavrik
