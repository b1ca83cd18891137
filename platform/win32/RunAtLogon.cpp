#include "platform/RunAtLogon.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

const wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

}  // namespace

bool RegisterRunAtNextLogon(const std::string& name, const std::string& commandLine) {
  HKEY raw = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunOnceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &raw, nullptr) != ERROR_SUCCESS)
    return false;
  ScopedRegKey key(raw);
  std::wstring text = Widen(commandLine);
  return ::RegSetValueExW(key.Get(), Widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void UnregisterRunAtNextLogon(const std::string& name) noexcept {
  try {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnceKey, 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
      return;
    ScopedRegKey key(raw);
    ::RegDeleteValueW(key.Get(), Widen(name).c_str());
  } catch (...) {
  }
}

std::string RunAtNextLogonCommand(const std::string& name) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnceKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return std::string();
  ScopedRegKey key(raw);
  wchar_t text[4096] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.Get(), Widen(name).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::string();
  return Narrow(text, wcslen(text));
}

}  // namespace platform
