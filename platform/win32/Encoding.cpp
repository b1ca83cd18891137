#include "platform/Encoding.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

std::wstring Widen(const std::string& text) {
  std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const wchar_t* text, std::size_t length) {
  return Utf16ToUtf8(std::u16string(text, text + length));
}

std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }

std::string OemToUtf8(const std::string& bytes) {
  // The text counts as ending at its first zero byte; what follows stays as read.
  std::size_t end = bytes.find('\0');
  std::string head = end == std::string::npos ? bytes : bytes.substr(0, end);
  std::string tail = end == std::string::npos ? std::string() : bytes.substr(end);
  if (head.empty()) return bytes;
  int wideLength = ::MultiByteToWideChar(CP_OEMCP, 0, head.data(), static_cast<int>(head.size()),
                                         nullptr, 0);
  if (wideLength <= 0) return bytes;
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  ::MultiByteToWideChar(CP_OEMCP, 0, head.data(), static_cast<int>(head.size()), wide.data(),
                        wideLength);
  return Narrow(wide) + tail;
}

}  // namespace platform
