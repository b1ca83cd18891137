#include "platform/FileOps.h"

#include "platform/Process.h"
#include "platform/win32/WindowsSupport.h"

namespace platform {


bool FileExists(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool RemoveFile(const std::string& path) { return ::DeleteFileW(Widen(path).c_str()) != 0; }

bool IsFileFree(const std::string& path) noexcept {
  try {
    ScopedFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
  } catch (...) {
    return false;
  }
}

bool FlushFileToDisk(const std::string& path) {
  // FlushFileBuffers needs write access; others may go on reading.
  ScopedFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ::FlushFileBuffers(file.Get());
}

bool ReplaceFileAtomically(const std::string& source, const std::string& target) {
  return ::MoveFileExW(Widen(source).c_str(), Widen(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::optional<std::string> ResolveFilePath(const std::string& path) {
  std::wstring wide = Widen(path);
  DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  ScopedFileHandle file(::CreateFileW(wide.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::wstring target(32768, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(file.Get(), &target[0], static_cast<DWORD>(target.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= target.size()) return std::nullopt;
  target.resize(n);
  // "\\?\C:\x" -> "C:\x"; "\\?\UNC\server\share" -> "\\server\share" (refused later).
  if (target.compare(0, 8, L"\\\\?\\UNC\\") == 0)
    target = L"\\\\" + target.substr(8);
  else if (target.compare(0, 4, L"\\\\?\\") == 0)
    target = target.substr(4);
  return Narrow(target);
}

namespace {

bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  ScopedFileHandle file(::CreateFileW(Widen(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ::GetFileInformationByHandle(file.Get(), &info);
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return IdentityOf(a, ia) && IdentityOf(b, ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

std::string FileNameKey(const std::string& path) {
  std::wstring wide = Widen(path);
  if (!wide.empty()) ::CharLowerBuffW(&wide[0], static_cast<DWORD>(wide.size()));
  return Narrow(wide);
}

std::optional<std::uint64_t> FreeSpaceBeside(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  if (dir.empty()) dir = ".\\";
  ULARGE_INTEGER available;
  if (!::GetDiskFreeSpaceExW(Widen(dir).c_str(), &available, nullptr, nullptr))
    return std::nullopt;
  return available.QuadPart;
}

}  // namespace platform
