#include "platform/FileOps.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/Process.h"
#include "platform/posix/Fd.h"

namespace platform {

namespace {

constexpr std::size_t kCopyChunk = 4u << 20;

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  for (;;) {
    int fd = ::open(path, flags, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

// Removes the file it guards unless told the work succeeded; errno survives it.
class RemoveUnlessKept {
 public:
  explicit RemoveUnlessKept(std::string path) : path_(std::move(path)) {}
  ~RemoveUnlessKept() {
    if (kept_) return;
    int saved = errno;
    ::unlink(path_.c_str());
    errno = saved;
  }
  RemoveUnlessKept(const RemoveUnlessKept&) = delete;
  RemoveUnlessKept& operator=(const RemoveUnlessKept&) = delete;
  void Keep() noexcept { kept_ = true; }

 private:
  std::string path_;
  bool kept_ = false;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies everything from `in` to `out`: the kernel's copy_file_range where the
// file systems allow it, a read/write loop otherwise.
bool CopyContents(int in, int out) {
  CopyFaultHook hook = CopyFaultHookForTesting();
  std::unique_ptr<char[]> buffer;
  bool kernelCopy = true;
  std::uint64_t copied = 0;
  for (;;) {
    ssize_t n;
    if (kernelCopy) {
      n = ::copy_file_range(in, nullptr, out, nullptr, kCopyChunk, 0);
      if (n < 0 && copied == 0 &&
          (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
           errno == EPERM || errno == EBADF)) {
        kernelCopy = false;
        continue;
      }
    } else {
      if (!buffer) buffer.reset(new char[kCopyChunk]);
      n = ::read(in, buffer.get(), kCopyChunk);
      if (n > 0 && !WriteAll(out, buffer.get(), static_cast<std::size_t>(n))) return false;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    copied += static_cast<std::uint64_t>(n);
    if (hook != nullptr && hook(copied)) {
      errno = EIO;
      return false;
    }
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

bool CopyFileNoOverwrite(const std::string& source, const std::string& target) {
  ScopedFd in(OpenRetrying(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!in) return false;
  struct stat st;
  if (::fstat(in.Get(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  // O_EXCL: fails when anything already stands at the target, even a dangling link.
  ScopedFd out(OpenRetrying(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                            S_IRUSR | S_IWUSR));
  if (!out) return false;
  RemoveUnlessKept removeOnFailure(target);

  // The copy gets the source's permissions and, when we may, its owner: a database
  // created by the server must stay openable by the server's account.
  if (::fchmod(out.Get(), st.st_mode & 07777) != 0) return false;
  if (::geteuid() == 0 && ::fchown(out.Get(), st.st_uid, st.st_gid) != 0) return false;

  if (!CopyContents(in.Get(), out.Get())) return false;
  if (::fsync(out.Get()) != 0) return false;
  if (::close(out.Release()) != 0) return false;
  if (!SyncDirectoryOf(target)) return false;
  removeOnFailure.Keep();
  return true;
}

}  // namespace platform
