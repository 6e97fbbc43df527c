#pragma once
// The process under load: the relay, started from a copy in a fresh folder
// (its log lands beside it), the fan-out ceiling (this tool started again),
// or a relay that already runs (attached: never stopped by the tool).
#include <memory>
#include <string>

namespace tavrik::load {

class TargetProcess {
 public:
  // outputsPath: an outputs file for -k, copied beside the relay; "" for none.
  // printerPort: above 0, the relay passes its source through to 127.0.0.1 there (-o).
  static std::unique_ptr<TargetProcess> StartRelay(const std::string& relayPath, bool keepFolder,
                                                   const std::string& outputsPath, std::string& error,
                                                   int printerPort = 0);
  static std::unique_ptr<TargetProcess> StartFanOut(std::string& error);
  static std::unique_ptr<TargetProcess> Attach(int sourcePort, int clientPort, int pid);

  ~TargetProcess();
  TargetProcess(const TargetProcess&) = delete;
  TargetProcess& operator=(const TargetProcess&) = delete;

  int SourcePort() const { return sourcePort_; }
  int ClientPort() const { return clientPort_; }
  int Pid() const { return pid_; }  // 0 when attached without one
  const std::string& Folder() const { return folder_; }

  // "" while the process runs, else how it ended.
  std::string Ended();
  // Stops a process the tool started; "" when it ended as expected.
  std::string Stop();

 private:
  TargetProcess() = default;
  bool Launch(const std::string& program, const char* const* argv, std::string& error);

  int sourcePort_ = 0;
  int clientPort_ = 0;
  int pid_ = 0;
  bool owned_ = false;
  bool relay_ = false;
  bool keepFolder_ = false;
  bool reaped_ = false;
  int status_ = 0;
  std::string folder_;
};

}  // namespace tavrik::load
