#include "platform/DynamicLibrary.h"

#include "platform/SystemError.h"
#include "platform/win32/WindowsSupport.h"

namespace platform {

void CloseLibraryHandle(void* handle) noexcept { ::FreeLibrary(static_cast<HMODULE>(handle)); }

// A library directory set with SetDllDirectoryW takes the current folder's place in
// the search. Windows also drops the current folder for an empty one, but Wine keeps
// it then; the system folder, searched right after it anyway, drops it everywhere
// and leaves the order otherwise as it was.
void RemoveCurrentFolderFromLibrarySearch() noexcept {
  wchar_t system[MAX_PATH];
  UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  ::SetDllDirectoryW(length > 0 && length < MAX_PATH ? system : L"");
}

DynamicLibrary DynamicLibrary::Load(const std::string& path, std::string* error) {
  std::wstring widePath = Widen(path);
  // With a folder in the path, the library's own folder is searched for what it
  // needs (fbclient.dll beside its ICU and runtime libraries); a bare name takes the
  // standard search order.
  bool hasFolder = path.find_first_of("\\/") != std::string::npos;
  HMODULE module = ::LoadLibraryExW(widePath.c_str(), nullptr,
                                    hasFolder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  if (module == nullptr && error != nullptr) *error = SystemErrorText(LastErrorCode());
  return DynamicLibrary(module);
}

bool DynamicLibrary::IsInProcess(const std::string& path) {
  return ::GetModuleHandleW(Widen(path).c_str()) != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const noexcept {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_.Get()), name));
}

std::string SharedLibraryFileName(const std::string& baseName) { return baseName + ".dll"; }

}  // namespace platform
