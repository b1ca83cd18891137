#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {

namespace {

// Opens the lock file read-only (all flock needs), creating it when missing. Never
// follows a link, never blocks on a planted pipe, and takes nothing but a regular file.
int OpenLockFile(const std::string& path) {
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    // An existing file first: a sticky directory may refuse O_CREAT on another user's file.
    fd = ::open(path.c_str(), kFlags);
    if (fd >= 0 || errno != ENOENT) break;
    fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) ::fchmod(fd, 0644);  // whatever the umask, every writer may open it
    else if (errno != EEXIST) break;
  }
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// True when `fd` is still the file that `path` names (somebody may have removed it).
bool StillNamed(int fd, const std::string& path) {
  struct stat held, named;
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// flock has no timed wait: try, then sleep a little longer each time, up to 1 ms.
bool LockUntil(int fd, std::chrono::steady_clock::time_point deadline) {
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(1));
  }
}

}  // namespace

std::unique_ptr<NamedLock> NamedLock::Open(const std::string&, const std::string& lockFile,
                                           NamedLockError& error) {
  int fd = OpenLockFile(lockFile);
  if (fd < 0) {
    error.step = "Create";
    error.code = static_cast<ErrorCode>(errno);
    return nullptr;
  }
  std::unique_ptr<NamedLock> lock(new NamedLock());
  lock->fd_ = fd;
  lock->path_ = lockFile;
  return lock;
}

NamedLock::~NamedLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool NamedLock::Acquire(int timeoutMs) noexcept {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int attempt = 0;; ++attempt) {
    if (!LockUntil(fd_, deadline)) return false;
    if (attempt >= 100 || StillNamed(fd_, path_)) return true;
    // Removed while we waited: lock the file that has the name now.
    int fresh = OpenLockFile(path_);
    if (fresh < 0) return true;  // keep the old one rather than none
    ::close(fd_);                // also lets go of its lock
    fd_ = fresh;
  }
}

void NamedLock::Release() noexcept { ::flock(fd_, LOCK_UN); }

}  // namespace platform
