#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "support/Exceptions.h"

namespace platform {

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

std::optional<File> File::TryOpen(const std::string& path, FileOpenMode mode, FileShare,
                                  ErrorCode& error) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileOpenMode::kReadWrite: flags |= O_RDWR; break;
    case FileOpenMode::kReadWriteCreate: flags |= O_RDWR | O_CREAT; break;
    case FileOpenMode::kCreateExclusive: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    case FileOpenMode::kRead: flags |= O_RDONLY; break;
    case FileOpenMode::kAppend: flags |= O_RDWR | O_APPEND; break;
    case FileOpenMode::kAppendCreate: flags |= O_RDWR | O_APPEND | O_CREAT; break;
    case FileOpenMode::kAppendPrivate: flags |= O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW; break;
  }
  const bool isPrivate = mode == FileOpenMode::kAppendPrivate;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, isPrivate ? 0600 : 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = static_cast<ErrorCode>(errno);
    return std::nullopt;
  }
  struct stat st;
  int refusal = 0;
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) refusal = EISDIR;
    else if (isPrivate && (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid())) refusal = EACCES;
    else if (isPrivate && (st.st_mode & 077) != 0) ::fchmod(fd, st.st_mode & 0700);
  }
  if (refusal != 0) {
    ::close(fd);
    error = static_cast<ErrorCode>(refusal);
    errno = refusal;
    return std::nullopt;
  }
  File file;
  file.fd_ = fd;
  return file;
}

bool File::IsOpen() const noexcept { return fd_ >= 0; }

void File::Close() noexcept {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

std::int64_t File::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) RaiseLastOSError();
  return st.st_size;
}

std::int64_t File::Seek(std::int64_t position) {
  off_t at = ::lseek(fd_, static_cast<off_t>(position), SEEK_SET);
  if (at < 0) RaiseLastOSError();
  return at;
}

std::int64_t File::SeekToEnd() {
  off_t at = ::lseek(fd_, 0, SEEK_END);
  if (at < 0) RaiseLastOSError();
  return at;
}

std::size_t File::Read(void* buffer, std::size_t count) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer, count);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) RaiseLastOSError();
  }
}

void File::Write(const void* data, std::size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t n = ::write(fd_, p, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastOSError();
    }
    p += n;
    count -= static_cast<std::size_t>(n);
  }
}

void File::Truncate(std::int64_t size) {
  int rc;
  do {
    rc = ::ftruncate(fd_, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) RaiseLastOSError();
}

bool IsSharingViolation(ErrorCode) noexcept { return false; }

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RenameFile(const std::string& from, const std::string& to) {
  // link + unlink refuses an existing target, as the Windows rename does.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return true;
    int saved = errno;
    ::unlink(to.c_str());
    errno = saved;
    return false;
  }
  if (errno == EEXIST) return false;
  // File systems without hard links: check, then rename.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<std::int64_t> FileSizeOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return st.st_size;
}

bool CreateDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty() || DirectoryExists(partial)) continue;
    if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return DirectoryExists(path);
}

bool RemoveEmptyDirectory(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

std::vector<std::string> ListDirectory(const std::string& directory, const std::string& prefix) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return names;
  while (struct dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(std::move(name));
  }
  ::closedir(dir);
  return names;
}

std::string TempDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string PrivateTempDirectory() {
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* dir = std::getenv(variable);
    if (dir != nullptr && *dir != '\0') return std::string(dir).back() == '/' ? dir : std::string(dir) + '/';
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const struct passwd* user = ::getpwuid(::geteuid());
    home = user != nullptr ? user->pw_dir : "/";
  }
  std::string cache = std::string(home) + (std::string(home).back() == '/' ? "" : "/") + ".cache";
  ::mkdir(cache.c_str(), 0700);  // the usual place; an existing one is kept as it is
  return cache + '/';
}

std::optional<std::int64_t> LastWriteTimeMs(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

char PathSeparator() noexcept { return '/'; }

}  // namespace platform
