#include "outputs/OutputsFile.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "journal/JournalSetUp.h"
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
  auto config = ReadOutputsConfig(text.str(), path, MqttAvailable());
  const auto* read = std::get_if<OutputsConfig>(&config);
  if (read && read->journal) {
    const JournalConfig& journal = *read->journal;
    const std::string at = path + ":" + std::to_string(journal.pathLine) + ": journal";
    if (!JournalAvailable()) return ConfigError{at + ": this build has no journal support (built without SQLite)"};
    if (const auto problem = JournalFolderProblem(journal.path)) return ConfigError{at + ".path: " + *problem};
  }
  if (!read || !read->mqtt) return config;
  const std::optional<MqttSetUpProblem> problem = CheckMqttSetUp(*read->mqtt);
  if (!problem) return config;
  const std::map<std::string, uint32_t>& lines = read->mqtt->lines;
  auto line = lines.find(problem->key);
  if (line == lines.end()) line = lines.find("mqtt");  // a key left at its default
  const uint32_t at = line != lines.end() ? line->second : 0;
  return ConfigError{path + ":" + std::to_string(at) + ": " + problem->key + ": " + problem->problem};
}

}  // namespace tavrik
