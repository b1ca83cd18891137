#include "platform/FileOps.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/Process.h"
#include "platform/TestPoint.h"
#include "platform/posix/Fd.h"

namespace platform {

namespace {

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  for (;;) {
    int fd = ::open(path, flags, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

// Makes the new directory entry durable. File systems that cannot sync a
// directory say EINVAL; there is nothing more to do on those.
bool SyncDirectoryOf(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  if (dir.empty()) dir = ".";
  ScopedFd fd(OpenRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return false;
  if (::fsync(fd.Get()) != 0 && errno != EINVAL) return false;
  return true;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool IsFileFree(const std::string& path) noexcept {
  ScopedFd fd(OpenRetrying(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
  if (!fd) return false;
  // The server keeps an exclusive flock on every database it has attached; our
  // own lock goes away with the descriptor.
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) return true;
  if (errno == EWOULDBLOCK) errno = EBUSY;  // "busy" says what it is
  return false;
}

FileHold::FileHold(const std::string& path) noexcept {
  ScopedFd fd(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd) return;
  int result;
  do {
    result = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    if (errno == EWOULDBLOCK) errno = EBUSY;
    return;
  }
  fd_ = fd.Release();
}

FileHold::~FileHold() {
  if (fd_ >= 0) ::close(fd_);
}

bool FlushFileToDisk(const std::string& path) {
  // Linux flushes through a read-only descriptor; the file may be the server's own.
  ScopedFd fd(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  return fd && ::fsync(fd.Get()) == 0;
}

ReplaceResult ReplaceFileAtomically(const std::string& source, const std::string& target) {
  if (::rename(source.c_str(), target.c_str()) != 0) return ReplaceResult::kNotReplaced;
  if (TestFault("folder-flush")) {
    errno = EIO;
    return ReplaceResult::kReplacedNotFlushed;
  }
  return SyncDirectoryOf(target) ? ReplaceResult::kReplaced : ReplaceResult::kReplacedNotFlushed;
}

bool FlushFolderOf(const std::string& path) { return SyncDirectoryOf(path); }

FileKind KindOfFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return FileKind::kMissing;
  if (S_ISREG(st.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(st.st_mode)) return FileKind::kDirectory;
  return FileKind::kOther;
}

EntryKind KindOfEntry(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? EntryKind::kMissing : EntryKind::kOther;
  if (S_ISLNK(st.st_mode)) return EntryKind::kLink;
  return S_ISREG(st.st_mode) ? EntryKind::kRegular : EntryKind::kOther;
}

std::optional<unsigned> HardLinkCount(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<unsigned>(st.st_nlink);
}

std::optional<std::string> FileIdentity(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

ErrorCode WriteAccessProblem(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  if (dir.empty()) dir = ".";
  // The server writes the side files and the new database into the folder, and
  // the swap renames in it: both need a writable folder on a writable volume.
  for (const std::string& place : {path, dir}) {
    if (::access(place.c_str(), W_OK) != 0) return static_cast<ErrorCode>(errno);
  }
  struct statvfs st;
  if (::statvfs(dir.c_str(), &st) == 0 && (st.f_flag & ST_RDONLY) != 0) return EROFS;
  return 0;
}

// The Windows spelling of another computer's share never names a local file here.
bool IsNetworkPath(const std::string& path) { return path.compare(0, 2, "\\\\") == 0; }

bool CopyFileSecurity(const std::string& source, const std::string& target) {
  struct stat from, to;
  if (::stat(source.c_str(), &from) != 0 || ::stat(target.c_str(), &to) != 0) return false;
  if ((from.st_uid != to.st_uid || from.st_gid != to.st_gid) &&
      ::chown(target.c_str(), from.st_uid, from.st_gid) != 0)
    return false;
  // After chown: it may clear the set-id bits that chmod then puts back.
  return ::chmod(target.c_str(), from.st_mode & 07777) == 0;
}

std::optional<std::string> ResolveFilePath(const std::string& path) {
  std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr), std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string FileNameKey(const std::string& path) { return path; }

std::optional<std::uint64_t> FreeSpaceBeside(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  if (dir.empty()) dir = ".";
  struct statvfs st;
  if (::statvfs(dir.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

}  // namespace platform
