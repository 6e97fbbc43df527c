#pragma once
// Reads an outputs file (TOML). Pure: no I/O, never throws. Every problem is
// one line naming the file, the line and the key, e.g.
//   outputs.toml:7: recorder[2].port: must be a whole number from 1 to 65535
// Unknown keys and tables are errors, so a misspelt key is never ignored.
#include <string>
#include <string_view>
#include <variant>

#include "outputs/OutputsConfig.h"

namespace tavrik {

struct ConfigError {
  std::string message;
};

// mqttAvailable: false in a build without an MQTT client library, where an
// [mqtt] table is an error saying so.
std::variant<OutputsConfig, ConfigError> ReadOutputsConfig(std::string_view text, std::string_view fileName,
                                                           bool mqttAvailable);

}  // namespace tavrik
