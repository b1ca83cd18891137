// Text for libraries that take the system's single-byte ("ANSI") strings: the
// active code page on Windows, UTF-8 already on POSIX.
#pragma once

#include <string>

namespace platform {

// A character the code page cannot hold becomes '?'.
std::string Utf8ToAnsi(const std::string& text);
std::string AnsiToUtf8(const std::string& bytes);

}  // namespace platform
