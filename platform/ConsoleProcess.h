// A console child process whose standard output and error arrive through one pipe.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// How long a console program may take before it is ended. The statistics tool
// answers within seconds; only a hung tool (or a hung server behind it) takes longer.
constexpr std::chrono::milliseconds kConsoleTimeLimit{120000};

// Starts `commandLine` hidden and appends everything the child writes to stdout and
// stderr, in arrival order, to `output`, which is cleared once the child has started
// (and left untouched when it cannot start). Returns when every holder of the pipe's
// write end has closed it. The result is converted with OemToUtf8. Raises EOSError.
// When the output has not ended within `timeLimit`, the child and every process it
// started (its process group on POSIX, its job on Windows) are ended and EOSError is
// raised with the timeout code; `output` then holds what was read, unconverted.
void RunConsoleProcess(const std::string& commandLine, std::string& output,
                       std::chrono::milliseconds timeLimit = kConsoleTimeLimit);

// The failure raised when a console program outlived its time limit.
[[noreturn]] void RaiseConsoleTimeLimit(const std::string& commandLine,
                                        std::chrono::milliseconds timeLimit,
                                        std::uint32_t timeoutCode);

// Splits a command line into arguments the way Windows programs do (the C runtime's
// rules): blanks and tabs separate; double quotes group and are removed; 2n
// backslashes before a quote give n backslashes and the quote groups, 2n+1 give n
// backslashes and a literal quote; "" inside a quoted part is a literal quote;
// backslashes elsewhere are literal.
//   C:\QORD\gstat.exe "C:\My DB\A.FDB" -h   ->  [C:\QORD\gstat.exe] [C:\My DB\A.FDB] [-h]
//   a\\"b c"                              ->  [a\b c]
//   "a""b"                                ->  [a"b]
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace platform
