// A lock shared by every process of every user under one name, released by the
// system when its holder dies. Windows: a named mutex ("Global\" name, else the
// bare name) whose access list lets everyone wait on and release it, nothing more.
// POSIX: flock on a lock file of that name in the shared directory /tmp.
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
  // Opens the lock `name` (UTF-8), creating it when nobody has yet; nothing and
  // `error` filled on failure.
  static std::unique_ptr<NamedLock> Open(const std::string& name, NamedLockError& error);
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

  // Waits without a time-out. A lock whose holder died counts as acquired.
  void Acquire() noexcept;
  // Takes the lock when nobody holds it, at once; false when another holder has it.
  bool TryAcquire() noexcept;
  void Release() noexcept;

  // Where the lock lives: the mutex name or the lock file's path.
  const std::string& Path() const noexcept { return path_; }

 private:
  NamedLock() = default;
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace platform
