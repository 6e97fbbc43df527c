#include "outputs/OutputsFile.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "outputs/MqttOutput.h"

namespace tavrik {

std::variant<OutputsConfig, ConfigError> LoadOutputsFile(const std::string& path) {
  const ConfigError unreadable{path + ": cannot read the outputs file"};
  // A folder opens like a file and reads as empty: no outputs, and no error.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return unreadable;
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  if (!file || file.bad()) return unreadable;
  return ReadOutputsConfig(text.str(), path, MqttAvailable());
}

}  // namespace tavrik
