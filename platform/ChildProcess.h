// A child program started with its own arguments and a few extra environment
// variables, waited for or killed by its owner. Standard handles are shared with
// the parent; nothing else is inherited.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

class ChildProcess {
 public:
  using Environment = std::vector<std::pair<std::string, std::string>>;

  // Starts `program` with `args` (not including the program itself); `extraEnv`
  // is added to (or replaces in) the parent's environment. Raises EOSError.
  static std::unique_ptr<ChildProcess> Start(const std::string& program,
                                             const std::vector<std::string>& args,
                                             const Environment& extraEnv = {});
  // Kills a child still running, then reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits for the end; returns the exit code (128 + signal for a POSIX signal).
  int Wait();
  // Ends the child at once, as a crash would.
  void Kill() noexcept;

 private:
  ChildProcess() = default;
  bool finished_ = false;
  int exitCode_ = -1;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int pid_ = -1;
#endif
};

}  // namespace platform
