// The system's own words for an error code.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// GetLastError() on Windows, errno on POSIX.
using ErrorCode = std::uint32_t;

// The code left by the last failed system call of this thread.
ErrorCode LastErrorCode() noexcept;

// Sets the code that LastErrorCode() reports (for code that fails on its own terms).
void SetLastErrorCode(ErrorCode code) noexcept;

// The system's message for a code (UTF-8), with trailing blanks, line breaks and
// dots removed: "The system cannot find the file specified".
std::string SystemErrorText(ErrorCode code);

// Code for "file not found" on this platform (ERROR_FILE_NOT_FOUND / ENOENT).
ErrorCode FileNotFoundCode() noexcept;

// Removes trailing blanks, CR, LF and dots (the system messages end in ".\r\n").
std::string TrimSystemMessage(std::string text);

}  // namespace platform
