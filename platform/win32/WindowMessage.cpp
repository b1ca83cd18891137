#include "platform/WindowMessage.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

bool PostWindowMessage(WindowId window, std::uint32_t message) noexcept {
  return ::PostMessageW(reinterpret_cast<HWND>(window), message, 0, 0) != 0;
}

}  // namespace platform
