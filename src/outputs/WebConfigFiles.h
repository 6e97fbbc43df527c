#pragma once
// The files [web] names, read and checked at start-up: the users file into
// the settings, the TLS certificate and key tried. A build without logins
// or TLS refuses the keys that need them.
#include <optional>
#include <string>

#include "outputs/OutputsConfig.h"
#include "outputs/OutputsConfigReader.h"

namespace tavrik {

// outputsPath: the outputs file, for the error's "file:line: key: problem".
std::optional<ConfigError> LoadWebConfigFiles(const std::string& outputsPath, WebConfig& web);

}  // namespace tavrik
