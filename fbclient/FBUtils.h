// Binding of the product's database utility library (fbUtils.dll / libfbUtils.so),
// which supplies the database server's password and port. The program binds it
// once at start-up and refuses to start without it; the two lookups ask the
// library anew on every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/DynamicLibrary.h"

namespace FBUtils {

// The library's entries, in the order they are resolved.
constexpr std::size_t kEntryCount = 21;
extern const char* const kEntryNames[kEntryCount];

// "fbUtils.dll" on Windows, "libfbUtils.so" on Linux.
std::string LibraryFileName();
// "C:\QORD\fbUtils.dll" on Windows, the site root + "libfbUtils.so" on Linux.
std::string SiteLibraryPath();

// Which file to load, from where the executable stands:
//   a file beside the executable      -> that file
//   else a file at the site path      -> the site path
//   else                              -> the bare name, for the system's search order
std::string ChooseLibraryCandidate(const std::string& executableDir, const std::string& sitePath,
                                   const std::string& fileName,
                                   const std::function<bool(const std::string&)>& fileExists);

// One binding: the loaded library, its entry table and the application name.
class TFBUtilsBinding {
 public:
  TFBUtilsBinding() = default;
  TFBUtilsBinding(const TFBUtilsBinding&) = delete;
  TFBUtilsBinding& operator=(const TFBUtilsBinding&) = delete;

  // Loads the library chosen by ChooseLibraryCandidate and resolves the entries;
  // an entry the library does not export stays absent. False when it cannot be
  // loaded (LoadError() tells why); nothing is shown to anybody here.
  bool Bind(const std::string& executableDir, const std::string& sitePath,
            const std::string& fileName, const std::string& applicationName);

  bool IsLoaded() const noexcept { return library_.IsLoaded(); }
  // The path the library was loaded from (as handed to the loader).
  const std::string& LoadedFrom() const noexcept { return loadedFrom_; }
  const std::string& LoadError() const noexcept { return loadError_; }
  // Whether a file stood at the path tried (beside the executable or at the site
  // path), so that it is there but unusable; false when only the system's search
  // order was left.
  bool FileFound() const noexcept { return fileFound_; }
  const std::string& ApplicationName() const noexcept { return applicationName_; }

  // The address of entry `index` (of kEntryNames), or nullptr when absent.
  void* Entry(std::size_t index) const noexcept;
  std::size_t PresentEntryCount() const noexcept;

  // The library's GetFBPassword / GetFBPort with the application name, unchanged.
  // A library without the entry (or none bound) raises Exception naming it.
  std::string GetFBPassword() const;
  std::int32_t GetFBPort() const;

  // End of the program: unloads the library only when the environment variable
  // FUTILSDLL_ISLOADED is exactly "1"; in every case forgets the handle and empties
  // the entry table.
  void Release() noexcept;

 private:
  platform::DynamicLibrary library_;
  void* entries_[kEntryCount] = {};
  std::string loadedFrom_;
  std::string loadError_;
  bool fileFound_ = false;
  std::string applicationName_;
};

// The process's one binding, for the front ends and the maintenance jobs.
TFBUtilsBinding& Binding();

// Start-up: binds from beside the executable, the site path or the search order.
// When no library can be loaded, calls `refuse`, which ends the process (one of
// the two refusals below).
void Bind(void (*refuse)());
// The password and port lookups of the process's binding.
std::string GetFBPassword();
std::int32_t GetFBPort();
// Program end.
void Release() noexcept;

// The refusal texts.
extern const char* const kRefusalCaption;  // "Ошибка!"
extern const char* const kRefusalText;     // "Модуль fbUtils.dll не загружен. ..."
// kRefusalText, then a line with the reason of the process's binding: no file found,
// or a file found that the system could not load, with the system's words
// (dlerror, the Windows error text):
//   "Файл "C:\QORDbUtils.dll" есть, но система не смогла его загрузить: %1 is not a
//    valid Win32 application."
std::string RefusalText();
std::string RefusalText(const TFBUtilsBinding& binding);

// Window program: an error box owned by the active window (if any), then exit
// code 0 at once, without any further clean-up. Windows only.
[[noreturn]] void RefuseStartWithMessageBox();
// Console program: the same text on stderr, then exit code 0 at once.
[[noreturn]] void RefuseStartOnConsole();

}  // namespace FBUtils
