// File operations of the database rebuild: existence, delete, the exclusive-open
// test, the atomic replace that swaps a rebuilt database in, and the facts the
// rebuild checks first (where a file really lies, room on its volume). Failures
// leave the system's error code for LastErrorCode(), so callers can quote the
// system's own words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/SystemError.h"

namespace platform {

// True when a file (not a directory) exists at `path`.
bool FileExists(const std::string& path);

// Deletes the file at `path`. False on failure, with the error code left behind.
bool RemoveFile(const std::string& path);

// True when the file can be opened for reading and writing with no sharing at this
// moment; false for any failure (held by another program or the database server,
// access denied, gone, a directory), with the error code left behind (POSIX: EBUSY
// when another holds it). Opens and closes it again without touching it.
// Windows: an exclusive CreateFileW. POSIX: open read-write plus a non-blocking
// exclusive flock, which is how the Firebird server marks a database it has attached.
bool IsFileFree(const std::string& path) noexcept;

#ifndef _WIN32
// Holds a file the way IsFileFree tests it, for as long as the object lives: an
// exclusive flock, which the database server needs to attach, so nobody attaches
// meanwhile. (Windows needs none: it refuses to replace a file the server holds.)
class FileHold {
 public:
  // Takes the hold; Held() is false when another holds the file (errno left: EBUSY).
  explicit FileHold(const std::string& path) noexcept;
  ~FileHold();
  FileHold(const FileHold&) = delete;
  FileHold& operator=(const FileHold&) = delete;
  bool Held() const noexcept { return fd_ >= 0; }

 private:
  int fd_ = -1;
};
#endif

// What stands at a path, looked at without opening it (opening a FIFO would wait for
// a writer): a regular file, a directory, something else (a device, a FIFO, a
// socket), or nothing. Links are followed.
enum class FileKind { kMissing, kRegular, kDirectory, kOther };
FileKind KindOfFile(const std::string& path);

// What the name itself is, a link not followed (POSIX lstat; on Windows a reparse
// point, a symbolic link or a junction, counts as a link): side files are examined so,
// for a link planted there would make the server write wherever it points.
enum class EntryKind { kMissing, kRegular, kLink, kOther };
EntryKind KindOfEntry(const std::string& path);

// How many names (hard links) the file has; nothing when it cannot be told.
std::optional<unsigned> HardLinkCount(const std::string& path);

// The identity of the file or folder at `path` as the file system knows it, the same
// through every name that leads to it (links, bind mounts, 8.3 names, subst drives):
// POSIX device and inode, Windows volume serial and file index. Nothing when it
// cannot be opened.
std::optional<std::string> FileIdentity(const std::string& path);

// Why this program could not change the file at `path`: 0 when it can open it for
// writing (busy does not count: the server may hold it), else the system's code
// (POSIX EACCES, EROFS; Windows ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT). The
// folder must take new files too (POSIX).
ErrorCode WriteAccessProblem(const std::string& path);

// Whether `path` lies on another computer: a UNC path in either slash (not the
// local device forms \\?\C:\ and \\.\), or a drive the system says is remote.
// On POSIX only the Windows spelling \\\\server counts.
bool IsNetworkPath(const std::string& path);

// Gives `target` the owner and access rules of `source` (POSIX: owner, group and
// permission bits; Windows: owner, group and access list). False on failure
// (error code left).
bool CopyFileSecurity(const std::string& source, const std::string& target);

// Writes a file's data through to the disk. False on failure (error code left).
bool FlushFileToDisk(const std::string& path);
// Writes the folder of `path` through to the disk, so that a file just made or
// removed there stays made or removed after a power cut (Windows: nothing to do,
// its file systems journal the folder). False on failure (error code left).
bool FlushFolderOf(const std::string& path);

// Puts `source` in the place of `target` in one step: at every instant `target`
// names the old file or the new one, whole. The new directory entry is on the disk
// before it returns (POSIX: the folder is flushed; Windows: write-through). Both
// must lie in one folder. Fails (error code left) when `target` is held open by
// another program on Windows; on POSIX the caller tests that first.
enum class ReplaceResult {
  kReplaced,
  kNotReplaced,         // `target` is as it was (error code left)
  kReplacedNotFlushed,  // replaced, but the folder's new entry may not be on the disk yet
};
ReplaceResult ReplaceFileAtomically(const std::string& source, const std::string& target);

// Where the file that `path` names really lies: POSIX gives the absolute path with
// every symbolic link resolved; Windows follows a file that is a symbolic link (a
// reparse point) and leaves every other path as typed. Nothing when it cannot be
// resolved (no such file).
std::optional<std::string> ResolveFilePath(const std::string& path);

// Whether two paths lead to one and the same existing file, as the file system
// tells (names compared its way, case-insensitive on Windows; links followed).
bool SameFile(const std::string& a, const std::string& b);

// The path in a form where names the file system takes for equal are equal:
// lower-cased on Windows (all letters, Cyrillic too), the path itself on POSIX.
std::string FileNameKey(const std::string& path);

// Bytes this user may still write on the volume that holds the folder of `path`.
std::optional<std::uint64_t> FreeSpaceBeside(const std::string& path);

}  // namespace platform
