// Text (UTF-8) for the standard output or error stream of a console program.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Writes `text` whole and flushes. A Windows console gets it as UTF-16 (it shows
// Cyrillic whatever its code page); a pipe, a file or a POSIX terminal gets UTF-8.
void WriteConsoleText(std::FILE* stream, const std::string& text);

}  // namespace platform
