#include "platform/Files.h"

#include <utility>

#include "platform/win32/WindowsSupport.h"
#include "support/Exceptions.h"

namespace platform {

namespace {

HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

std::wstring LongPath(const std::string& path) { return Widen(path); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
  }
  return *this;
}

std::optional<File> File::TryOpen(const std::string& path, FileOpenMode mode, FileShare share,
                                  ErrorCode& error) {
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case FileOpenMode::kReadWrite: break;
    case FileOpenMode::kReadWriteCreate: disposition = OPEN_ALWAYS; break;
    case FileOpenMode::kCreateExclusive: disposition = CREATE_NEW; break;
    case FileOpenMode::kRead: access = GENERIC_READ; break;
    case FileOpenMode::kAppend: break;
    // The user's temporary directory is the user's own; no link to guard against there.
    case FileOpenMode::kAppendCreate:
    case FileOpenMode::kAppendPrivate: disposition = OPEN_ALWAYS; break;
  }
  DWORD shareMode = share == FileShare::kExclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  // No security attributes: the handle is not inherited by child processes.
  HANDLE h = ::CreateFileW(LongPath(path).c_str(), access, shareMode, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = ::GetLastError();
    return std::nullopt;
  }
  File file;
  file.handle_ = h;
  return file;
}

bool File::IsOpen() const noexcept { return AsHandle(handle_) != INVALID_HANDLE_VALUE; }

void File::Close() noexcept {
  if (IsOpen()) ::CloseHandle(AsHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)));
}

std::int64_t File::Size() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(AsHandle(handle_), &size)) RaiseLastOSError();
  return size.QuadPart;
}

std::int64_t File::Seek(std::int64_t position) {
  LARGE_INTEGER to, at;
  to.QuadPart = position;
  if (!::SetFilePointerEx(AsHandle(handle_), to, &at, FILE_BEGIN)) RaiseLastOSError();
  return at.QuadPart;
}

std::int64_t File::SeekToEnd() {
  LARGE_INTEGER to, at;
  to.QuadPart = 0;
  if (!::SetFilePointerEx(AsHandle(handle_), to, &at, FILE_END)) RaiseLastOSError();
  return at.QuadPart;
}

std::size_t File::Read(void* buffer, std::size_t count) {
  DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
  DWORD read = 0;
  if (!::ReadFile(AsHandle(handle_), buffer, chunk, &read, nullptr)) RaiseLastOSError();
  return read;
}

void File::Write(const void* data, std::size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), p, chunk, &written, nullptr)) RaiseLastOSError();
    if (written == 0) RaiseOSError(ERROR_WRITE_FAULT);
    p += written;
    count -= written;
  }
}

void File::Truncate(std::int64_t size) {
  LARGE_INTEGER here, zero, to;
  zero.QuadPart = 0;
  if (!::SetFilePointerEx(AsHandle(handle_), zero, &here, FILE_CURRENT)) RaiseLastOSError();
  to.QuadPart = size;
  if (!::SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN)) RaiseLastOSError();
  if (!::SetEndOfFile(AsHandle(handle_))) RaiseLastOSError();
  if (!::SetFilePointerEx(AsHandle(handle_), here, nullptr, FILE_BEGIN)) RaiseLastOSError();
}

bool IsSharingViolation(ErrorCode code) noexcept {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::MoveFileW(LongPath(from).c_str(), LongPath(to).c_str()) != 0;
}

std::optional<std::int64_t> FileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool CreateDirectories(const std::string& path) {
  if (path.empty()) return false;
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    std::string partial = path.substr(0, i);
    if (partial.size() == 2 && partial[1] == ':') continue;  // a drive
    if (DirectoryExists(partial)) continue;
    if (!::CreateDirectoryW(LongPath(partial).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return DirectoryExists(path);
}

bool RemoveEmptyDirectory(const std::string& path) {
  return ::RemoveDirectoryW(LongPath(path).c_str()) != 0;
}

std::vector<std::string> ListDirectory(const std::string& directory, const std::string& prefix) {
  std::vector<std::string> names;
  std::string pattern = directory;
  if (!pattern.empty() && !IsSeparator(pattern.back())) pattern += '\\';
  pattern += prefix + "*";
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(LongPath(pattern).c_str(), &data));
  if (!find) return names;
  do {
    std::string name = Narrow(data.cFileName);
    if (name != "." && name != "..") names.push_back(std::move(name));
  } while (::FindNextFileW(find.Get(), &data));
  return names;
}

std::string TempDirectory() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return std::string();
  return Narrow(buffer, n);
}

std::string PrivateTempDirectory() { return TempDirectory(); }

std::optional<std::int64_t> LastWriteTimeMs(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  ULARGE_INTEGER t;
  t.LowPart = data.ftLastWriteTime.dwLowDateTime;
  t.HighPart = data.ftLastWriteTime.dwHighDateTime;
  // 100 ns units since 1601-01-01 to ms since 1970-01-01.
  return static_cast<std::int64_t>(t.QuadPart / 10000) - 11644473600000LL;
}

bool IsAbsolutePath(const std::string& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return true;  // UNC
  return path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]);
}

char PathSeparator() noexcept { return '\\'; }

}  // namespace platform
