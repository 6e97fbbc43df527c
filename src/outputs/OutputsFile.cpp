#include "outputs/OutputsFile.h"

#include <fstream>
#include <sstream>

#include "outputs/MqttOutput.h"

namespace tavrik {

std::variant<OutputsConfig, ConfigError> LoadOutputsFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  if (!file || file.bad()) return ConfigError{path + ": cannot read the outputs file"};
  return ReadOutputsConfig(text.str(), path, MqttAvailable());
}

}  // namespace tavrik
