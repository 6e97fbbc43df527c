#include "load/ProcessProbe.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tavrik::load {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int64_t StatusKb(const std::string& status, const std::string& key) {
  const size_t at = status.find(key + ":");
  if (at == std::string::npos) return 0;
  return std::stoll(status.substr(at + key.size() + 1));
}

}  // namespace

ProcessSample ProcessProbe::Sample(int pid) {
  ProcessSample sample;
  if (pid <= 0) return sample;
  const std::string base = "/proc/" + std::to_string(pid);
  const std::string stat = ReadText(base + "/stat");
  // The command name may hold blanks: fields are counted after its ")".
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return sample;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int number = 3; fields >> field && number <= 15; ++number) {
    if (number == 14 || number == 15) ticks += std::stod(field);
  }
  sample.cpuMs = ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(base + "/task", error)) {
    std::istringstream schedstat(ReadText(task.path().string() + "/schedstat"));
    double ns = 0;
    if (schedstat >> ns) sample.cpuMsFine += ns / 1e6;
  }
  const std::string status = ReadText(base + "/status");
  sample.peakRssKb = StatusKb(status, "VmHWM");
  sample.rssKb = StatusKb(status, "VmRSS");
  sample.valid = !status.empty();
  return sample;
}

}  // namespace tavrik::load
