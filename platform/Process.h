// Identity of the running process and thread, and where its executable stands.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

std::uint32_t CurrentProcessId() noexcept;
// The operating system's id of the calling thread (not a library handle).
std::uint32_t CurrentThreadId() noexcept;

// Full path of the running executable (UTF-8).
std::string ExecutablePath();

// Directory part of a path, with its closing separator ("" when there is none).
// Both separators count on Windows, only '/' on POSIX.
//   "C:\QORD\x.exe" -> "C:\QORD\"      "/opt/QORD/x" -> "/opt/QORD/"      "x.exe" -> ""
std::string ExtractFilePath(const std::string& path);
// Name part of a path: "C:\QORD\x.exe" -> "x.exe".
std::string ExtractFileName(const std::string& path);

// Directory of the running executable, with its closing separator.
std::string ExecutableDir();

}  // namespace platform
