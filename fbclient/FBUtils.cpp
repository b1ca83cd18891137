#include "fbclient/FBUtils.h"

#include "fbclient/SitePaths.h"
#include "platform/AnsiText.h"
#include "platform/Environment.h"
#include "platform/FileOps.h"
#include "platform/Process.h"
#include "support/Exceptions.h"

namespace FBUtils {

// The library's lookups take the application name and are __stdcall on 32-bit
// Windows (the keyword means nothing to the other Windows targets).
#ifdef _WIN32
#define QVN_FBUTILS_CALL __stdcall
#else
#define QVN_FBUTILS_CALL
#endif
using GetFBPasswordFunction = const char*(QVN_FBUTILS_CALL*)(const char* applicationName);
using GetFBPortFunction = std::int32_t(QVN_FBUTILS_CALL*)(const char* applicationName);

const char* const kEntryNames[kEntryCount] = {
    "FBConnectDB",           "FBDisconnectDB",          "FBStartTransaction",
    "FBCommitTransaction",   "FBRollBackTransaction",   "FBOpenDataSet",
    "FBCloseDataSet",        "FBExecDataSet",           "CommitTransactionWithReOpenDST",
    "FBCreateTransaction",   "FBSetGSMBaseConnect",     "FBGetGSMDataBase",
    "FBCreateDataSetForWrite", "FBCreateDataSetForRead", "FBCreateDataSetForWrite2",
    "FBCreateDataSetForRead2", "FBLogMessage",          "GetFBPassword",
    "GetFBPort",             "FBGetIBDataBaseFromPool", "FBReturnIBDataBaseToPool",
};

namespace {

constexpr std::size_t kGetFBPasswordIndex = 17;
constexpr std::size_t kGetFBPortIndex = 18;

}  // namespace

const char* const kRefusalCaption = "Ошибка!";
const char* const kRefusalText = "Модуль fbUtils.dll не загружен. В запуске приложения отказано!";

std::string RefusalText(const TFBUtilsBinding& binding) {
  std::string text = kRefusalText;
  if (binding.FileFound()) {
    return text + "\r\nФайл \"" + binding.LoadedFrom() +
           "\" есть, но система не смогла его загрузить: " + binding.LoadError();
  }
  return text + "\r\nФайл " + LibraryFileName() + " не найден ни рядом с программой, ни как " +
         SiteLibraryPath() + " (поиск системы: " + binding.LoadError() + ")";
}

std::string RefusalText() { return RefusalText(Binding()); }

std::string LibraryFileName() { return platform::SharedLibraryFileName("fbUtils"); }

std::string SiteLibraryPath() { return fbclient::SiteRoot() + LibraryFileName(); }

std::string ChooseLibraryCandidate(const std::string& executableDir, const std::string& sitePath,
                                   const std::string& fileName,
                                   const std::function<bool(const std::string&)>& fileExists) {
  std::string candidate = executableDir + fileName;
  if (fileExists(candidate)) return candidate;
  if (fileExists(sitePath)) return sitePath;
  return fileName;
}

bool TFBUtilsBinding::Bind(const std::string& executableDir, const std::string& sitePath,
                           const std::string& fileName, const std::string& applicationName) {
  Release();
  loadError_.clear();
  loadedFrom_ = ChooseLibraryCandidate(executableDir, sitePath, fileName, platform::FileExists);
  fileFound_ = loadedFrom_ != fileName;
  library_ = platform::DynamicLibrary::Load(loadedFrom_, &loadError_);
  if (!library_) return false;
  for (std::size_t i = 0; i < kEntryCount; ++i) entries_[i] = library_.Symbol(kEntryNames[i]);
  applicationName_ = applicationName;
  return true;
}

void* TFBUtilsBinding::Entry(std::size_t index) const noexcept {
  return index < kEntryCount ? entries_[index] : nullptr;
}

std::size_t TFBUtilsBinding::PresentEntryCount() const noexcept {
  std::size_t count = 0;
  for (void* entry : entries_) count += entry != nullptr ? 1 : 0;
  return count;
}

std::string TFBUtilsBinding::GetFBPassword() const {
  auto lookup = reinterpret_cast<GetFBPasswordFunction>(entries_[kGetFBPasswordIndex]);
  if (lookup == nullptr)
    throw Exception("Модуль fbUtils.dll не содержит функцию GetFBPassword");
  const char* password = lookup(platform::Utf8ToAnsi(applicationName_).c_str());
  return password != nullptr ? platform::AnsiToUtf8(password) : std::string();
}

std::int32_t TFBUtilsBinding::GetFBPort() const {
  auto lookup = reinterpret_cast<GetFBPortFunction>(entries_[kGetFBPortIndex]);
  if (lookup == nullptr) throw Exception("Модуль fbUtils.dll не содержит функцию GetFBPort");
  return lookup(platform::Utf8ToAnsi(applicationName_).c_str());
}

void TFBUtilsBinding::Release() noexcept {
  // Read from the process environment itself: the library may set it there.
  std::optional<std::string> flag;
  try {
    flag = platform::EnvironmentVariable("FUTILSDLL_ISLOADED");
  } catch (...) {
  }
  if (flag && *flag == "1")
    library_.Unload();
  else
    library_.Abandon();  // stays loaded until the process ends
  for (void*& entry : entries_) entry = nullptr;
}

TFBUtilsBinding& Binding() {
  static TFBUtilsBinding binding;
  return binding;
}

void Bind(void (*refuse)()) {
  std::string executable = platform::ExecutablePath();
  if (!Binding().Bind(platform::ExtractFilePath(executable), SiteLibraryPath(), LibraryFileName(),
                      platform::ExtractFileName(executable)))
    refuse();
}

std::string GetFBPassword() { return Binding().GetFBPassword(); }

std::int32_t GetFBPort() { return Binding().GetFBPort(); }

void Release() noexcept { Binding().Release(); }

}  // namespace FBUtils
