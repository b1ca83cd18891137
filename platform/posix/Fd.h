// POSIX file descriptors under the one scoped-handle template.
#pragma once

#include <unistd.h>

#include "platform/ScopedHandle.h"

namespace platform {

struct FdTraits {
  using Handle = int;
  static Handle Invalid() noexcept { return -1; }
  static bool IsValid(Handle fd) noexcept { return fd >= 0; }
  static void Close(Handle fd) noexcept { ::close(fd); }
};
using ScopedFd = ScopedHandle<FdTraits>;

}  // namespace platform
