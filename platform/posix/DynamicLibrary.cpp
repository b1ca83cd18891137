#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace platform {

void CloseLibraryHandle(void* handle) noexcept { ::dlclose(handle); }

void RemoveCurrentFolderFromLibrarySearch() noexcept {}

DynamicLibrary DynamicLibrary::Load(const std::string& path, std::string* error) {
  ::dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr && error != nullptr) {
    const char* reason = ::dlerror();
    *error = reason != nullptr ? reason : "dlopen failed";
  }
  return DynamicLibrary(handle);
}

bool DynamicLibrary::IsInProcess(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  ::dlclose(handle);
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const noexcept {
  if (!handle_) return nullptr;
  return ::dlsym(handle_.Get(), name);
}

std::string SharedLibraryFileName(const std::string& baseName) { return "lib" + baseName + ".so"; }

}  // namespace platform
