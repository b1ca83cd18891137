#include "platform/Files.h"

#include "support/Exceptions.h"

namespace platform {

File File::Open(const std::string& path, FileOpenMode mode, FileShare share) {
  ErrorCode error = 0;
  std::optional<File> file = TryOpen(path, mode, share, error);
  if (!file) RaiseOSError(error);
  return std::move(*file);
}

}  // namespace platform
