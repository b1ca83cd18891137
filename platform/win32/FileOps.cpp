#include "platform/FileOps.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

DWORD CALLBACK CopyProgress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER,
                            LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID) {
  CopyFaultHook hook = CopyFaultHookForTesting();
  if (hook != nullptr && transferred.QuadPart > 0 &&
      hook(static_cast<std::uint64_t>(transferred.QuadPart)))
    return PROGRESS_CANCEL;
  return PROGRESS_CONTINUE;
}

// Removes what a failed copy left at the target; the copy's error code survives.
void RemovePartialCopy(const std::wstring& target, DWORD error) {
  ::DeleteFileW(target.c_str());
  ::SetLastError(error);
}

}  // namespace

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

bool CopyFileNoOverwrite(const std::string& source, const std::string& target) {
  std::wstring wideSource = Widen(source);
  std::wstring wideTarget = Widen(target);
  BOOL cancel = FALSE;
  LPPROGRESS_ROUTINE progress = CopyFaultHookForTesting() != nullptr ? CopyProgress : nullptr;
  if (!::CopyFileExW(wideSource.c_str(), wideTarget.c_str(), progress, nullptr, &cancel,
                     COPY_FILE_FAIL_IF_EXISTS)) {
    DWORD error = ::GetLastError();
    // A file that stood there before is not ours to remove.
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      RemovePartialCopy(wideTarget, error);
    else
      ::SetLastError(error);
    return false;
  }
  // Not every Windows reports progress (Wine does not): the seam gets a last word
  // once the data is across, before the flush.
  CopyFaultHook hook = CopyFaultHookForTesting();
  if (hook != nullptr) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    std::uint64_t size = 0;
    if (::GetFileAttributesExW(wideTarget.c_str(), GetFileExInfoStandard, &data))
      size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (hook(size)) {
      RemovePartialCopy(wideTarget, ERROR_WRITE_FAULT);
      return false;
    }
  }
  // The copy is not done until it is on the disk.
  ScopedFileHandle file(::CreateFileW(wideTarget.c_str(), GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !::FlushFileBuffers(file.Get())) {
    DWORD error = ::GetLastError();
    file.Reset();
    RemovePartialCopy(wideTarget, error);
    return false;
  }
  return true;
}

}  // namespace platform
