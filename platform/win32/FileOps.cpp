#include "platform/FileOps.h"

#include <cctype>
#include <cstdio>
#include <cwchar>
#include <memory>

#include "platform/Process.h"
#include "platform/TestPoint.h"
#include "platform/win32/WindowsSupport.h"

#include <aclapi.h>

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

bool FlushFolderOf(const std::string&) { return true; }

ReplaceResult ReplaceFileAtomically(const std::string& source, const std::string& target) {
  // Write-through: the call returns once the move is on the disk, so there is no
  // separate flush that could fail after the replace.
  if (!::MoveFileExW(Widen(source).c_str(), Widen(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return ReplaceResult::kNotReplaced;
  if (TestFault("folder-flush")) {
    ::SetLastError(ERROR_WRITE_FAULT);
    return ReplaceResult::kReplacedNotFlushed;
  }
  return ReplaceResult::kReplaced;
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

std::optional<std::string> FileIdentity(const std::string& path) {
  // FILE_FLAG_BACKUP_SEMANTICS opens folders too.
  ScopedFileHandle file(::CreateFileW(Widen(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !::GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "%08lx:%08lx%08lx",
                static_cast<unsigned long>(info.dwVolumeSerialNumber),
                static_cast<unsigned long>(info.nFileIndexHigh),
                static_cast<unsigned long>(info.nFileIndexLow));
  return std::string(text);
}

FileKind KindOfFile(const std::string& path) {
  std::wstring wide = Widen(path);
  DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kDirectory;
  // Devices (CON, NUL, COM1, \\.\PhysicalDrive0) answer too: only a disk file counts.
  ScopedFileHandle file(::CreateFileW(wide.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return FileKind::kRegular;  // held or refused: the later checks say why
  return ::GetFileType(file.Get()) == FILE_TYPE_DISK ? FileKind::kRegular : FileKind::kOther;
}

EntryKind KindOfEntry(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? EntryKind::kMissing
                                                                        : EntryKind::kOther;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return EntryKind::kOther;
  return EntryKind::kRegular;
}

std::optional<unsigned> HardLinkCount(const std::string& path) {
  ScopedFileHandle file(::CreateFileW(Widen(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !::GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
  return static_cast<unsigned>(info.nNumberOfLinks);
}

ErrorCode WriteAccessProblem(const std::string& path) {
  std::wstring wide = Widen(path);
  DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    return ERROR_ACCESS_DENIED;
  ScopedFileHandle file(::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) return 0;
  DWORD code = ::GetLastError();
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ? 0 : code;
}

bool IsNetworkPath(const std::string& path) {
  auto sep = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 2 && sep(path[0]) && sep(path[1])) {
    // \\?\ and \\.\ name local objects, except \\?\UNC\server\share.
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && sep(path[3])) {
      std::string rest = path.substr(4);
      std::string head = rest.substr(0, 4);
      for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (head == "UNC\\" || head == "UNC/") return true;
      return IsNetworkPath(rest);  // \\?\C:\... : the drive decides
    }
    return true;
  }
  // The volume that holds the path: a mapped network drive, or a local folder
  // mounted from another computer.
  std::wstring wide = Widen(path);
  std::wstring volume(MAX_PATH + 1, L'\0');
  if (!::GetVolumePathNameW(wide.c_str(), &volume[0], static_cast<DWORD>(volume.size())))
    return false;
  volume.resize(std::wcslen(volume.c_str()));
  if (volume.size() >= 2 && volume[0] == L'\\' && volume[1] == L'\\') return true;
  return ::GetDriveTypeW(volume.c_str()) == DRIVE_REMOTE;
}

bool CopyFileSecurity(const std::string& source, const std::string& target) {
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring from = Widen(source), to = Widen(target);
  DWORD result = ::GetNamedSecurityInfoW(
      from.c_str(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
      &group, &dacl, nullptr, &descriptor);
  if (result != ERROR_SUCCESS) {
    ::SetLastError(result);
    return false;
  }
  std::unique_ptr<void, decltype(&::LocalFree)> release(descriptor, &::LocalFree);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  // A protected list stays protected; an inherited one keeps inheriting from the folder.
  SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION |
                              ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                             : UNPROTECTED_DACL_SECURITY_INFORMATION);
  // Giving a file another owner needs a privilege an operator may not have; the
  // access list is what decides who may use the file.
  result = ::SetNamedSecurityInfoW(&to[0], SE_FILE_OBJECT,
                                   what | OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                                   owner, group, dacl, nullptr);
  if (result != ERROR_SUCCESS)
    result = ::SetNamedSecurityInfoW(&to[0], SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
  if (result != ERROR_SUCCESS) {
    ::SetLastError(result);
    return false;
  }
  return true;
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
