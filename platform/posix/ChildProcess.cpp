#include "platform/ChildProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "support/Exceptions.h"

extern char** environ;

namespace platform {

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& args,
                                                  const Environment& extraEnv) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    bool replaced = false;
    for (const auto& [name, value] : extraEnv) {
      (void)value;
      std::string prefix = name + "=";
      if (std::strncmp(*e, prefix.c_str(), prefix.size()) == 0) replaced = true;
    }
    if (!replaced) env.emplace_back(*e);
  }
  for (const auto& [name, value] : extraEnv) env.push_back(name + "=" + value);

  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data());
  if (rc != 0) RaiseOSError(static_cast<std::uint32_t>(rc));
  std::unique_ptr<ChildProcess> child(new ChildProcess());
  child->pid_ = pid;
  return child;
}

ChildProcess::~ChildProcess() {
  if (!finished_) {
    Kill();
    Wait();
  }
}

int ChildProcess::Wait() {
  if (finished_) return exitCode_;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, 0);
  } while (r < 0 && errno == EINTR);
  finished_ = true;
  if (r < 0) return exitCode_ = -1;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return exitCode_;
}

void ChildProcess::Kill() noexcept {
  if (!finished_) ::kill(pid_, SIGKILL);
}

}  // namespace platform
