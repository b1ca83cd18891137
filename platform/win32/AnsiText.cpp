#include "platform/AnsiText.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

std::string Utf8ToAnsi(const std::string& text) {
  std::wstring wide = Widen(text);
  if (wide.empty()) return std::string();
  int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                     nullptr, 0, "?", nullptr);
  std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0)
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                          length, "?", nullptr);
  return bytes;
}

std::string AnsiToUtf8(const std::string& bytes) {
  if (bytes.empty()) return std::string();
  int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                     nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0)
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                          length);
  return Narrow(wide);
}

}  // namespace platform
