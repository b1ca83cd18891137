// Text conversions. Inside the program text is UTF-8; the other encodings exist at
// the edges only (Win32 calls, log files, console output of child programs).
#pragma once

#include <string>

namespace platform {

// Malformed UTF-8 becomes U+FFFD, unpaired surrogates likewise.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

// Windows-1251; a character that 1251 cannot hold becomes '?'.
std::string Utf8ToCp1251(const std::string& text);
std::string Cp1251ToUtf8(const std::string& bytes);

// Code page 866, the Cyrillic console (OEM) code page.
std::string Cp866ToUtf8(const std::string& bytes);
std::string Utf8ToCp866(const std::string& text);

// Console output of a child program to UTF-8: the OEM code page on Windows, UTF-8
// already on POSIX. The text counts as ending at its first zero byte; bytes after
// it are kept as read.
std::string OemToUtf8(const std::string& bytes);

}  // namespace platform
