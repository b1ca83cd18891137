// The process environment itself (not a runtime library's copy of it), so that a
// variable set by any library of the process is seen.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The value of variable `name`, or nothing when it is unset (UTF-8).
std::optional<std::string> EnvironmentVariable(const std::string& name);
// Sets (or, with nullopt, removes) a variable of this process. False on failure.
bool PutEnvironmentVariable(const std::string& name, const std::optional<std::string>& value);

}  // namespace platform
