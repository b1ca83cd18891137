#include "platform/ConsoleProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/Encoding.h"
#include "platform/posix/Fd.h"
#include "support/Exceptions.h"

extern char** environ;

namespace platform {
namespace {

// posix_spawn's file actions and attributes, destroyed on every way out.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  bool haveActions = false;
  bool haveAttr = false;
  ~SpawnSetup() {
    if (haveActions) posix_spawn_file_actions_destroy(&actions);
    if (haveAttr) posix_spawnattr_destroy(&attr);
  }
};

// Waits up to `limit` for the child to end; true when it was reaped.
bool ReapWithin(pid_t pid, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno != EINTR) return errno == ECHILD;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// A failure after the child started: give it a second to end, else end it.
void AbandonChild(pid_t pid) noexcept {
  if (!ReapWithin(pid, std::chrono::milliseconds(1000))) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

// Ends the child and everyone in its process group: heirs that still hold the pipe.
// The child is not reaped before this, so its id still names its group.
void EndChildAndHeirs(pid_t pid) noexcept {
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  ReapWithin(pid, std::chrono::milliseconds(1000));
}

// Milliseconds left until `deadline`, for poll().
int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 60000));
}

}  // namespace

void RunConsoleProcess(const std::string& commandLine, std::string& output,
                       std::chrono::milliseconds timeLimit) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty()) RaiseOSError(ENOENT);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) RaiseLastOSError();
  ScopedFd readEnd(fds[0]);
  ScopedFd writeEnd(fds[1]);

  SpawnSetup setup;
  int rc = posix_spawn_file_actions_init(&setup.actions);
  if (rc != 0) RaiseOSError(rc);
  setup.haveActions = true;
  rc = posix_spawnattr_init(&setup.attr);
  if (rc != 0) RaiseOSError(rc);
  setup.haveAttr = true;

  // The write end serves as stdout, stderr and (write-only) stdin; every other
  // descriptor of ours is close-on-exec.
  for (int target : {0, 1, 2}) {
    rc = posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.Get(), target);
    if (rc != 0) RaiseOSError(rc);
  }
  sigset_t noSignals;
  sigemptyset(&noSignals);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&setup.attr, &noSignals);
  posix_spawnattr_setsigdefault(&setup.attr, &defaults);
  // A process group of its own, so that the child and whatever it starts can be
  // ended together when the time runs out.
  posix_spawnattr_setpgroup(&setup.attr, 0);
  posix_spawnattr_setflags(&setup.attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  pid_t pid = 0;
  rc = posix_spawnp(&pid, argv[0], &setup.actions, &setup.attr, argv.data(), environ);
  if (rc != 0) RaiseOSError(rc);

  writeEnd.Reset();  // the pipe breaks once the child and its heirs have closed theirs
  const auto deadline = std::chrono::steady_clock::now() + timeLimit;
  bool childEnded = false;
  try {
    output.clear();
    char buffer[256];
    for (;;) {
      pollfd ready{readEnd.Get(), POLLIN, 0};
      int polled = ::poll(&ready, 1, MillisecondsLeft(deadline));
      if (polled < 0) {
        if (errno == EINTR) continue;
        RaiseLastOSError();
      }
      if (polled == 0) {
        if (std::chrono::steady_clock::now() < deadline) continue;
        EndChildAndHeirs(pid);
        childEnded = true;
        RaiseConsoleTimeLimit(commandLine, timeLimit, ETIMEDOUT);
      }
      ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        RaiseLastOSError();
      }
      if (n == 0) break;
      output.append(buffer, static_cast<std::size_t>(n));
    }
  } catch (...) {
    if (!childEnded) AbandonChild(pid);
    throw;
  }
  // The output has ended; the child normally ends with it. One that goes on
  // running without its output is not waited for.
  ReapWithin(pid, std::chrono::milliseconds(1000));
  if (!output.empty()) output = OemToUtf8(output);
}

}  // namespace platform
