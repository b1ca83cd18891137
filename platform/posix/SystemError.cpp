#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace platform {

ErrorCode LastErrorCode() noexcept { return static_cast<ErrorCode>(errno); }

void SetLastErrorCode(ErrorCode code) noexcept { errno = static_cast<int>(code); }

ErrorCode FileNotFoundCode() noexcept { return ENOENT; }

std::string SystemErrorText(ErrorCode code) {
  char buffer[512];
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  return TrimSystemMessage(text ? text : "");
}

}  // namespace platform
