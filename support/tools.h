// Support routines: the console command runner and failure context wrapping.
#pragma once

#include <memory>
#include <string>

#include "support/Exceptions.h"

// Runs a console program from a complete command line (UTF-8; the program is its
// first token, quoted by the caller when it holds blanks), hidden, and returns in
// `output` everything it wrote to standard output and standard error, interleaved
// as written, converted from the console code page to UTF-8. Returns true or
// raises EOSError; `output` is untouched when the program cannot be started.
// The child's standard input is write-only, so a child that reads input fails at once.
bool RunConsoleCommand(const std::string& commandLine, std::string& output);

// A new failure of the caught one's kind whose message is "<context> -> <message>",
// with " <# Kind #>" appended when `addClassName` is set and the message has no mark
// yet (so the one mark names the innermost kind). The caller raises it.
std::unique_ptr<Exception> WrapException(const Exception& caught, const std::string& context,
                                         bool addClassName);
