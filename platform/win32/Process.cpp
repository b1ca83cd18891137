#include "platform/Process.h"

#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace platform {

std::uint32_t CurrentProcessId() noexcept { return ::GetCurrentProcessId(); }

std::uint32_t CurrentThreadId() noexcept { return ::GetCurrentThreadId(); }

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) return Narrow(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
