// The outputs file reader must never crash or throw, must name the file and
// a line in every error, and whatever it accepts must hold in range; the
// receipt formatter must keep to its encoding and wrap width on any text.
//
// Input layout: the whole input is the file's text, and also the text of a
// receipt formatted under each encoding with a wrap width of byte 0 % 8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "outputs/OutputsConfigReader.h"
#include "outputs/ReceiptFormat.h"

namespace {

using namespace tavrik;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool InRange(int32_t value, int32_t min, int32_t max) { return value >= min && value <= max; }

void CheckFormat(const TextFormat& format) {
  Require(format.lineEnd == "\r\n" || format.lineEnd == "\n" || format.lineEnd == "\r");
  Require(InRange(format.wrap, 0, 1000));
  Require(format.start.find_first_of("\r\n") == std::string::npos);
  Require(format.end.find_first_of("\r\n") == std::string::npos);
}

void CheckConfig(std::string_view text) {
  auto result = ReadOutputsConfig(text, "f.toml", true);
  if (const auto* error = std::get_if<ConfigError>(&result)) {
    Require(error->message.rfind("f.toml:", 0) == 0);
    return;
  }
  const auto& config = std::get<OutputsConfig>(result);
  Require(config.recorders.size() <= OutputsConfig::kMaxRecorders);
  Require(config.textServers.size() <= OutputsConfig::kMaxTextServers);
  for (const RecorderConfig& recorder : config.recorders) {
    Require(!recorder.host.empty() && InRange(recorder.port, 1, 65535) && InRange(recorder.queue, 1, 100000));
    CheckFormat(recorder.format);
  }
  for (const TextServerConfig& server : config.textServers) {
    Require(InRange(server.port, 1, 65535));
    CheckFormat(server.format);
  }
  if (config.mqtt) {
    Require(!config.mqtt->host.empty() && !config.mqtt->topic.empty() && InRange(config.mqtt->qos, 0, 1));
    Require(config.mqtt->certFile.empty() == config.mqtt->keyFile.empty());
  }
}

void CheckReceipt(std::string_view text, int32_t wrap) {
  std::string out;
  TextFormat format;
  format.lineEnd = std::string("\n");
  format.wrap = wrap;
  for (const TextEncoding encoding : {TextEncoding::kUtf8, TextEncoding::kLatin1, TextEncoding::kAscii}) {
    format.encoding = encoding;
    FormatReceipt(text, format, out);
    Require(out.empty() || out.back() == '\n');
    size_t lineStart = 0;
    for (size_t at = 0; at < out.size(); ++at) {
      const auto byte = static_cast<uint8_t>(out[at]);
      if (encoding == TextEncoding::kAscii) Require(byte < 0x80);
      if (out[at] != '\n') continue;
      // Single-byte encodings: a line holds at most wrap characters.
      if (wrap > 0 && encoding != TextEncoding::kUtf8) Require(at - lineStart <= static_cast<size_t>(wrap));
      lineStart = at + 1;
    }
    for (const std::string_view datagram : SplitDatagrams(out, "\n", 64)) Require(!datagram.empty() && datagram.size() <= 64);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckConfig(text);
  CheckReceipt(text, size > 0 ? data[0] % 8 : 0);
  return 0;
}
