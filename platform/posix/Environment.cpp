#include "platform/Environment.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> EnvironmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool PutEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
  if (value) return ::setenv(name.c_str(), value->c_str(), 1) == 0;
  return ::unsetenv(name.c_str()) == 0;
}

}  // namespace platform
