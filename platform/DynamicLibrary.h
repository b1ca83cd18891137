// A shared library loaded at run time and its entries looked up by name.
#pragma once

#include <string>

#include "platform/ScopedHandle.h"

namespace platform {

// Takes the current folder out of the places a library is looked for by bare name,
// so that a library planted where the program happens to be started cannot be loaded
// in the place of the real one; the other places and their order stay. Called first
// thing at start-up. Nothing to do on POSIX, where it is never searched.
void RemoveCurrentFolderFromLibrarySearch() noexcept;

// Frees a library handle (FreeLibrary / dlclose).
void CloseLibraryHandle(void* handle) noexcept;

struct LibraryHandleTraits {
  using Handle = void*;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { CloseLibraryHandle(h); }
};

class DynamicLibrary {
 public:
  DynamicLibrary() noexcept = default;

  // Loads `path` (UTF-8). A path with a folder loads that very file (on Windows its
  // own folder is searched first for the libraries it needs); a bare name is left
  // to the system's search order. On failure the result is not loaded and `error`
  // (when given) receives the system's reason.
  static DynamicLibrary Load(const std::string& path, std::string* error = nullptr);

  // True when the library at `path` is loaded in this process at the moment.
  static bool IsInProcess(const std::string& path);

  bool IsLoaded() const noexcept { return handle_.IsValid(); }
  explicit operator bool() const noexcept { return IsLoaded(); }

  // The address of the entry exported under exactly `name`, or nullptr.
  void* Symbol(const char* name) const noexcept;
  template <typename Function>
  Function SymbolAs(const char* name) const noexcept {
    return reinterpret_cast<Function>(Symbol(name));
  }

  // Unloads the library now.
  void Unload() noexcept { handle_.Reset(); }
  // Forgets the handle without unloading: the library stays until the process ends.
  void Abandon() noexcept { handle_.Release(); }

 private:
  explicit DynamicLibrary(void* handle) noexcept : handle_(handle) {}
  ScopedHandle<LibraryHandleTraits> handle_;
};

// The usual file name of a library called `baseName` on this platform:
// "fbUtils" -> "fbUtils.dll" on Windows, "libfbUtils.so" elsewhere.
std::string SharedLibraryFileName(const std::string& baseName);

}  // namespace platform
