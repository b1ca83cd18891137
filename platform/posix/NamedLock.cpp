#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace platform {

namespace {

// Every user must reach the same file, so neither TMPDIR nor a per-user place.
constexpr const char* kLockDirectory = "/tmp/";
constexpr std::size_t kMaxNameLength = 200;

// A name too long for one path component keeps its head and gets a hash of the whole.
std::string LockFileName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe)
    if (c == '/' || c == '\0') c = '_';
  if (safe.size() > kMaxNameLength) {
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ULL;
    char tail[24];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    safe = safe.substr(0, kMaxNameLength) + tail;
  }
  return "qlxlock-" + safe;
}

// Opens the lock file, creating it (readable and writable by everyone) when missing.
int OpenLockFile(const std::string& path) {
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    // An existing file first: a sticky /tmp refuses O_CREAT on another user's file.
    fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) break;
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::fchmod(fd, 0666);  // whatever the umask, every user may take the lock
    } else if (errno != EEXIST) {
      break;
    }
  }
  return fd;
}

// True when `fd` is still the file that `path` names (its last user may have removed it).
bool StillNamed(int fd, const std::string& path) {
  struct stat held, named;
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

std::unique_ptr<NamedLock> NamedLock::Open(const std::string& name, NamedLockError& error) {
  std::string path = kLockDirectory + LockFileName(name);
  int fd = OpenLockFile(path);
  if (fd < 0) {
    error.step = "Create";
    error.code = static_cast<ErrorCode>(errno);
    return nullptr;
  }
  std::unique_ptr<NamedLock> lock(new NamedLock());
  lock->fd_ = fd;
  lock->path_ = path;
  return lock;
}

NamedLock::~NamedLock() {
  if (fd_ < 0) return;
  // The last user removes the file, so that locks of old paths do not pile up. Whoever
  // still holds it open finds it gone at the next Acquire and takes the new one.
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0 && StillNamed(fd_, path_)) ::unlink(path_.c_str());
  ::close(fd_);
}

void NamedLock::Acquire() noexcept {
  for (int attempt = 0;; ++attempt) {
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
    if (attempt >= 100 || StillNamed(fd_, path_)) return;
    // Removed while we waited: lock the file that has the name now.
    int fresh = OpenLockFile(path_);
    if (fresh < 0) return;  // keep the old one rather than none
    ::close(fd_);           // also lets go of its lock
    fd_ = fresh;
  }
}

bool NamedLock::TryAcquire() noexcept {
  for (int attempt = 0; attempt < 100; ++attempt) {
    int result;
    do {
      result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) return false;
    if (StillNamed(fd_, path_)) return true;
    // Removed by its last user meanwhile: the name's file now is the lock.
    int fresh = OpenLockFile(path_);
    if (fresh < 0) return false;
    ::close(fd_);
    fd_ = fresh;
  }
  return false;
}

void NamedLock::Release() noexcept { ::flock(fd_, LOCK_UN); }

}  // namespace platform
