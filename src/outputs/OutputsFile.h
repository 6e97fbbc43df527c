#pragma once
// Reads the outputs file named by -k: the file's text through ReadOutputsConfig.
#include <string>
#include <variant>

#include "outputs/OutputsConfigReader.h"

namespace tavrik {

std::variant<OutputsConfig, ConfigError> LoadOutputsFile(const std::string& path);

}  // namespace tavrik
