// A lock shared by every process that writes one file, released by the system when
// its holder dies. Windows: a named mutex ("Global\" name, else the bare name) whose
// access list lets everyone wait on and release it, nothing more. POSIX: flock on a
// lock file beside the guarded file, so only those who may write there can make it;
// a read-only descriptor suffices for flock, so a lock file made by another user serves.
#pragma once

#include <memory>
#include <string>

#include "platform/SystemError.h"

namespace platform {

struct NamedLockError {
  // "InitializeSecurityDescriptor" or "SetSecurityDescriptorDacl" when the lock's
  // access rules could not be built, "Create" when the lock itself could not be made.
  std::string step;
  ErrorCode code = 0;
};

class NamedLock {
 public:
  // Opens the lock, creating it when nobody has yet: on Windows the mutex `name`
  // (UTF-8), on POSIX the lock file `lockFile`, never through a link. Nothing and
  // `error` filled on failure.
  static std::unique_ptr<NamedLock> Open(const std::string& name, const std::string& lockFile,
                                         NamedLockError& error);
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

  // Waits at most `timeoutMs` (0: only a look); false when the time ran out. A lock
  // whose holder died counts as acquired.
  bool Acquire(int timeoutMs) noexcept;
  void Release() noexcept;

  // Where the lock lives: the mutex name or the lock file's path.
  const std::string& Path() const noexcept { return path_; }

 private:
  NamedLock() = default;
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
  unsigned owned_ = 0;  // times this object acquired the mutex and has not released it
#else
  int fd_ = -1;
#endif
};

}  // namespace platform
