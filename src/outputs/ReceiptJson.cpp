#include "outputs/ReceiptJson.h"

#include <cstdint>

#include "json/JsonString.h"
#include "receipt/ReceiptText.h"
#include "web/ReceiptJsonFields.h"

namespace tavrik {

void AppendBase64(std::string_view bytes, std::string& out) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t at = 0;
  for (; at + 3 <= bytes.size(); at += 3) {
    const uint32_t group = static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 16 |
                           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
                           static_cast<uint8_t>(bytes[at + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(group >> shift) & 0x3F];
  }
  const size_t rest = bytes.size() - at;
  if (rest == 0) return;
  uint32_t group = static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 16;
  if (rest == 2) group |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8;
  out += kAlphabet[(group >> 18) & 0x3F];
  out += kAlphabet[(group >> 12) & 0x3F];
  out += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
  out += '=';
}

void AppendPictureField(std::string_view png, std::string& out) {
  out.pop_back();  // the closing brace
  out += ",\"png\":\"";
  AppendBase64(png, out);
  out += "\"}";
}

void FormatReceiptJson(const ReceiptRecord& frame, bool withRaw, std::string& out) {
  out.clear();
  out += "{\"seq\":";
  out += std::to_string(frame.sequence);
  out += ",\"time\":";
  AppendJsonString(out, frame.time);
  out += ",\"bytes\":";
  out += std::to_string(frame.bytes.size());
  out += ",\"cut\":";
  out += frame.cut ? "true" : "false";
  out += ",\"text\":";
  AppendJsonString(out, frame.text ? std::string_view(frame.text->text) : std::string_view());
  if (withRaw) {
    out += ",\"raw\":\"";
    AppendBase64(frame.bytes, out);
    out += '"';
  }
  AppendReceiptJsonFields(out, frame);
  out += '}';
}

}  // namespace tavrik
