// Files and directories: an owned open file, and the path operations the program
// needs. Paths are UTF-8. Handles are never inherited by child processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileOps.h"  // FileExists, RemoveFile
#include "platform/SystemError.h"

namespace platform {

enum class FileOpenMode {
  kReadWrite,         // an existing file, read and write
  kReadWriteCreate,   // read and write, created when missing (never truncated)
  kCreateExclusive,   // a new file, read and write; fails when the name exists
  kRead,              // an existing file, read only
  // Read and append. On POSIX every write goes to the end of the file in one step
  // (O_APPEND), so writers of several processes never overwrite each other, with or
  // without a lock; on Windows the writer seeks to the end under its lock.
  kAppend,            // an existing file
  kAppendCreate,      // created when missing
  // As kAppendCreate for a file of the user alone: on POSIX created owner-only (0600),
  // never opened through a link, refused when somebody else owns it.
  kAppendPrivate,
};

enum class FileShare {
  kDenyNone,   // others may read, write and delete meanwhile
  kExclusive,  // others may not open the file meanwhile (Windows; advisory nothing on POSIX)
};

// One open file. Movable, closed exactly once. Failures of the operations raise
// EOSError with the system's text.
class File {
 public:
  File() noexcept = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path`; on failure returns no file and leaves the system's code in `error`.
  static std::optional<File> TryOpen(const std::string& path, FileOpenMode mode,
                                     FileShare share, ErrorCode& error);
  // Opens `path` or raises EOSError.
  static File Open(const std::string& path, FileOpenMode mode,
                   FileShare share = FileShare::kDenyNone);

  bool IsOpen() const noexcept;
  void Close() noexcept;

  std::int64_t Size() const;
  std::int64_t Seek(std::int64_t position);  // from the start; returns the new position
  std::int64_t SeekToEnd();                   // returns the new position (the size)
  // Reads up to `count` bytes at the current position; returns how many were read (0 at end).
  std::size_t Read(void* buffer, std::size_t count);
  // Writes all `count` bytes at the current position.
  void Write(const void* data, std::size_t count);
  // Sets the size of the file; the position is left where it was.
  void Truncate(std::int64_t size);

 private:
#ifdef _WIN32
  void* handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
#else
  int fd_ = -1;
#endif
};

// True for the codes that mean "another process holds the file" (Windows sharing
// and lock violations, 32 and 33). POSIX has no such refusal; never true there.
bool IsSharingViolation(ErrorCode code) noexcept;

bool DirectoryExists(const std::string& path);
// Renames; fails when `to` exists (on both platforms), false on failure.
bool RenameFile(const std::string& from, const std::string& to);
// Size in bytes, or nothing when the file cannot be examined.
std::optional<std::int64_t> FileSizeOf(const std::string& path);
// Creates the directory and its missing parents; false on failure.
bool CreateDirectories(const std::string& path);
// Removes an empty directory; false on failure.
bool RemoveEmptyDirectory(const std::string& path);
// Names (not paths) of the entries of `directory` whose name begins with `prefix`,
// of any kind; "." and ".." excluded. On Windows the match ignores case.
std::vector<std::string> ListDirectory(const std::string& directory, const std::string& prefix);
// The system's directory for temporary files, with its closing separator.
std::string TempDirectory();
// The user's own directory for temporary files, with its closing separator. POSIX:
// $XDG_RUNTIME_DIR, else $TMPDIR, else ~/.cache (made owner-only when missing);
// Windows: the user's temporary directory.
std::string PrivateTempDirectory();
// Last modification time in milliseconds since 1970-01-01 UTC.
std::optional<std::int64_t> LastWriteTimeMs(const std::string& path);
// True when `path` names a file or directory by itself ("C:\x", "/x"), false for "x", "a/x".
bool IsAbsolutePath(const std::string& path);
// The directory separator of this platform.
char PathSeparator() noexcept;

}  // namespace platform
