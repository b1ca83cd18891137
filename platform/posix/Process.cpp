#include "platform/Process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

namespace platform {

std::uint32_t CurrentProcessId() noexcept { return static_cast<std::uint32_t>(::getpid()); }

std::uint32_t CurrentThreadId() noexcept {
  return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
