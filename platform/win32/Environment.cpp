#include "platform/Environment.h"

#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace platform {

std::optional<std::string> EnvironmentVariable(const std::string& name) {
  std::wstring wideName = Widen(name);
  std::vector<wchar_t> buffer(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), buffer.data(),
                                        static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < buffer.size()) return Narrow(buffer.data(), n);
    buffer.resize(n);
  }
}

bool PutEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
  std::wstring wideName = Widen(name);
  if (value) return ::SetEnvironmentVariableW(wideName.c_str(), Widen(*value).c_str()) != 0;
  return ::SetEnvironmentVariableW(wideName.c_str(), nullptr) != 0;
}

}  // namespace platform
