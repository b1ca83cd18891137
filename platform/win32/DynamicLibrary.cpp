#include "platform/DynamicLibrary.h"

#include "platform/SystemError.h"
#include "platform/win32/WindowsSupport.h"

namespace platform {

void CloseLibraryHandle(void* handle) noexcept { ::FreeLibrary(static_cast<HMODULE>(handle)); }

void RemoveCurrentFolderFromLibrarySearch() noexcept { ::SetDllDirectoryW(L""); }

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
