// File operations of the database rebuild: existence, delete, the exclusive-open
// test and the durable copy that never overwrites. Failures leave the system's error
// code for LastErrorCode(), so callers can quote the system's own words.
#pragma once

#include <cstdint>
#include <string>

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

// Copies `source` to `target` only when nothing stands at `target` yet, and flushes
// the copy to disk (its directory entry too, on POSIX) before reporting success.
// False on failure, with the error code left behind; a target that this call
// created is removed again, so a failed copy never leaves a partial file.
bool CopyFileNoOverwrite(const std::string& source, const std::string& target);

// Fault seam for tests: when set, called during a copy with the number of bytes
// written so far; returning true makes the copy fail there as if the disk had failed.
using CopyFaultHook = bool (*)(std::uint64_t bytesCopied);
void SetCopyFaultHookForTesting(CopyFaultHook hook) noexcept;
CopyFaultHook CopyFaultHookForTesting() noexcept;

}  // namespace platform
