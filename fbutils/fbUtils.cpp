// Stand-in for the product's database utility library: the two lookups the
// optimizer calls. The password and port come from fbUtils.ini beside the library:
//
//   [Firebird]
//   Password=masterkey
//   Port=3050
//
// A missing file, section or key falls back to the environment variable
// ISC_PASSWORD (empty when unset) and to port 3050. The file is read on every call.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fbutils/IniSetting.h"

#ifdef _WIN32
#include "platform/win32/WindowsSupport.h"
#define QVN_FBUTILS_EXPORT extern "C" __declspec(dllexport)
#define QVN_FBUTILS_CALL __stdcall
#else
#include <dlfcn.h>
#define QVN_FBUTILS_EXPORT extern "C" __attribute__((visibility("default")))
#define QVN_FBUTILS_CALL
#endif

QVN_FBUTILS_EXPORT const char* QVN_FBUTILS_CALL GetFBPassword(const char* applicationName);
QVN_FBUTILS_EXPORT std::int32_t QVN_FBUTILS_CALL GetFBPort(const char* applicationName);

namespace {

constexpr std::int32_t kDefaultPort = 3050;

// Full path of this library's file, in the system's narrow encoding.
std::string LibraryPath() {
#ifdef _WIN32
  HMODULE self = nullptr;
  if (!::GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&GetFBPort), &self))
    return std::string();
  char buffer[MAX_PATH * 2];
  DWORD n = ::GetModuleFileNameA(self, buffer, sizeof buffer);
  return std::string(buffer, n < sizeof buffer ? n : 0);
#else
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&GetFBPort), &info) == 0 || info.dli_fname == nullptr)
    return std::string();
  return info.dli_fname;
#endif
}

std::string IniPath() {
  std::string path = LibraryPath();
  std::string::size_type slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "fbUtils.ini";
}

std::string Trim(const std::string& text) {
  std::string::size_type begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return std::string();
  std::string::size_type end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

bool ReadIniSetting(std::istream& file, const std::string& key, std::string& value) {
  bool inSection = false;
  std::string line;
  while (std::getline(file, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      std::string::size_type close = line.find(']');
      inSection = close != std::string::npos && SameText(Trim(line.substr(1, close - 1)), "Firebird");
      continue;
    }
    std::string::size_type equals = line.find('=');
    if (!inSection || equals == std::string::npos) continue;
    if (SameText(Trim(line.substr(0, equals)), key)) {
      value = Trim(line.substr(equals + 1));
      return true;
    }
  }
  return false;
}

namespace {

// The value of `key` in section [Firebird] of the ini file, if it is there.
bool ReadSetting(const std::string& key, std::string& value) {
  std::ifstream file(IniPath(), std::ios::binary);
  return file && ReadIniSetting(file, key, value);
}

std::string EnvironmentPassword() {
#ifdef _WIN32
  // The process environment itself, not a runtime library's copy of it.
  char buffer[1024];
  DWORD n = ::GetEnvironmentVariableA("ISC_PASSWORD", buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
#else
  const char* value = std::getenv("ISC_PASSWORD");
  return value != nullptr ? value : std::string();
#endif
}

}  // namespace

QVN_FBUTILS_EXPORT const char* QVN_FBUTILS_CALL GetFBPassword(const char* /*applicationName*/) {
  // The text stays valid until this thread asks again.
  thread_local std::string password;
  try {
    if (!ReadSetting("Password", password)) password = EnvironmentPassword();
  } catch (...) {
    password.clear();
  }
  return password.c_str();
}

QVN_FBUTILS_EXPORT std::int32_t QVN_FBUTILS_CALL GetFBPort(const char* /*applicationName*/) {
  try {
    std::string text;
    if (!ReadSetting("Port", text) || text.empty()) return kDefaultPort;
    char* end = nullptr;
    long port = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || port <= 0 || port > 65535) return kDefaultPort;
    return static_cast<std::int32_t>(port);
  } catch (...) {
    return kDefaultPort;
  }
}
