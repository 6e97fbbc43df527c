#include "load/TargetProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "load/Loopback.h"

namespace tavrik::load {
namespace fs = std::filesystem;

namespace {

std::string HyphenFreeTempBase() {
  const char* tmp = std::getenv("TMPDIR");
  // The relay splits its command line at every hyphen; its folder is no
  // argument today, but a copy beside a hyphen-free path keeps it that way.
  if (tmp != nullptr && *tmp != '\0' && std::string(tmp).find('-') == std::string::npos) return tmp;
  return "/tmp";
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
  return "status " + std::to_string(status);
}

std::string Tail(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return all.size() > 600 ? all.substr(all.size() - 600) : all;
}

}  // namespace

std::unique_ptr<TargetProcess> TargetProcess::StartRelay(const std::string& relayPath, bool keepFolder,
                                                         const std::string& outputsPath, std::string& error,
                                                         int printerPort) {
  std::unique_ptr<TargetProcess> target(new TargetProcess());
  target->relay_ = true;
  target->keepFolder_ = keepFolder;
  std::string pattern = HyphenFreeTempBase() + "/tavrikload_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    error = ErrnoText("mkdtemp");
    return nullptr;
  }
  target->folder_ = pattern;
  const std::string binary = target->folder_ + "/TavrikSrv";
  std::error_code copyError;
  fs::copy_file(relayPath, binary, copyError);
  if (copyError) {
    error = "cannot copy the relay " + relayPath + ": " + copyError.message();
    return nullptr;
  }
  const auto [source, client] = FreePortPair();
  target->sourcePort_ = source;
  target->clientPort_ = client;
  const std::string sourceText = std::to_string(source);
  const std::string clientText = std::to_string(client);
  const std::string outputs = target->folder_ + "/outputs.toml";
  if (!outputsPath.empty()) {
    fs::copy_file(outputsPath, outputs, copyError);
    if (copyError) {
      error = "cannot copy the outputs file " + outputsPath + ": " + copyError.message();
      return nullptr;
    }
  }
  const std::string printerText = "127.0.0.1:" + std::to_string(printerPort);
  std::vector<const char*> argv = {binary.c_str(), "-l", "-t", sourceText.c_str(), "-u", "-p", clientText.c_str(),
                                   "-d", "10"};
  if (!outputsPath.empty()) argv.insert(argv.end(), {"-k", outputs.c_str()});
  if (printerPort > 0) argv.insert(argv.end(), {"-o", printerText.c_str()});
  argv.push_back(nullptr);
  if (!target->Launch(binary, argv.data(), error)) return nullptr;
  return target;
}

std::unique_ptr<TargetProcess> TargetProcess::StartFanOut(std::string& error) {
  std::unique_ptr<TargetProcess> target(new TargetProcess());
  const auto [source, client] = FreePortPair();
  target->sourcePort_ = source;
  target->clientPort_ = client;
  std::error_code linkError;
  const std::string self = fs::read_symlink("/proc/self/exe", linkError).string();
  if (linkError) {
    error = "cannot find this program: " + linkError.message();
    return nullptr;
  }
  const std::string sourceText = std::to_string(source);
  const std::string clientText = std::to_string(client);
  const char* argv[] = {self.c_str(), "--serve-fanout", sourceText.c_str(), clientText.c_str(),
                        nullptr};
  if (!target->Launch(self, argv, error)) return nullptr;
  return target;
}

std::unique_ptr<TargetProcess> TargetProcess::Attach(int sourcePort, int clientPort, int pid) {
  std::unique_ptr<TargetProcess> target(new TargetProcess());
  target->sourcePort_ = sourcePort;
  target->clientPort_ = clientPort;
  target->pid_ = pid;
  return target;
}

bool TargetProcess::Launch(const std::string& program, const char* const* argv,
                           std::string& error) {
  const std::string output = folder_.empty() ? "/dev/null" : folder_ + "/output.txt";
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    error = ErrnoText("fork");
    return false;
  }
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the tool
    if (getppid() != parent) _exit(127);
    if (!folder_.empty() && chdir(folder_.c_str()) != 0) _exit(127);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in >= 0) dup2(in, 0);
    if (out >= 0) {
      dup2(out, 1);
      if (relay_) dup2(out, 2);
    }
    execv(program.c_str(), const_cast<char* const*>(argv));
    _exit(127);
  }
  pid_ = pid;
  owned_ = true;
  return true;
}

std::string TargetProcess::Ended() {
  if (!owned_) {
    if (pid_ > 0 && kill(pid_, 0) != 0) return "the attached relay is gone";
    return "";
  }
  if (!reaped_) {
    if (waitpid(pid_, &status_, WNOHANG) != pid_) return "";
    reaped_ = true;
  }
  std::string text =
      (relay_ ? "the relay ended: " : "the fan-out ended: ") + DescribeStatus(status_);
  if (relay_) text.append("\n").append(Tail(folder_ + "/output.txt"));
  return text;
}

std::string TargetProcess::Stop() {
  if (!owned_) return "";
  owned_ = false;
  std::string problem;
  if (!reaped_) {
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
      problem = std::string(relay_ ? "the relay" : "the fan-out") +
                " had ended already: " + DescribeStatus(status_);
    } else {
      kill(pid_, SIGTERM);
      bool ended = false;
      for (int i = 0; i < 100 && !ended; ++i) {
        ended = waitpid(pid_, &status_, WNOHANG) == pid_;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        problem = "stopped with SIGKILL: no exit within 5 s of SIGTERM";
      } else if (relay_ && !(WIFEXITED(status_) && WEXITSTATUS(status_) == 0)) {
        problem = "the relay ended with " + DescribeStatus(status_) + " on SIGTERM";
      }
    }
    reaped_ = true;
  }
  if (!folder_.empty()) {
    if (problem.empty() && !keepFolder_) {
      std::error_code ignored;
      fs::remove_all(folder_, ignored);
    } else {
      problem += problem.empty() ? "" : " (its folder is kept: " + folder_ + ")";
    }
  }
  return problem;
}

TargetProcess::~TargetProcess() {
  Stop();
}

}  // namespace tavrik::load
