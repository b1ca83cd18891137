#include "platform/LocalTime.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

LocalDateTime LocalNow() noexcept {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace platform
