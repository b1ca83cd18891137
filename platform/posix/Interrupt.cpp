#include "platform/Interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace platform {

void WatchForInterruption() {
  static bool started = false;
  if (started) return;
  started = true;
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Every later signal of these is taken here too: a second one does not cut the
  // putting right short.
  std::thread([set] {
    for (;;) {
      int signal = 0;
      if (::sigwait(&set, &signal) != 0) continue;
      RequestInterruption(signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP");
    }
  }).detach();
}

void InterruptionHandled() noexcept {}
void WaitUntilInterruptionHandled(unsigned) noexcept {}

}  // namespace platform
