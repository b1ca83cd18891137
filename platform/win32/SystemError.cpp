#include "platform/SystemError.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

ErrorCode LastErrorCode() noexcept { return ::GetLastError(); }

void SetLastErrorCode(ErrorCode code) noexcept { ::SetLastError(code); }

ErrorCode FileNotFoundCode() noexcept { return ERROR_FILE_NOT_FOUND; }

std::string SystemErrorText(ErrorCode code) {
  wchar_t* buffer = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer != nullptr) text = Narrow(buffer, length);
  if (buffer != nullptr) ::LocalFree(buffer);
  return TrimSystemMessage(text);
}

}  // namespace platform
