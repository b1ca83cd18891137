#include "platform/ChildProcess.h"

#include <map>

#include "platform/win32/WindowsSupport.h"
#include "support/Exceptions.h"

namespace platform {

namespace {

// Quotes one argument so that the C runtime's splitting gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& args,
                                                  const Environment& extraEnv) {
  std::wstring commandLine = QuoteArgument(Widen(program));
  for (const std::string& a : args) commandLine += L" " + QuoteArgument(Widen(a));

  // The parent's block with the extra variables put in (names compare without case).
  std::vector<std::wstring> entries;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) entries.emplace_back(p);
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : extraEnv) {
    std::wstring prefix = Widen(name) + L"=";
    for (auto it = entries.begin(); it != entries.end();) {
      if (it->size() >= prefix.size() &&
          _wcsnicmp(it->c_str(), prefix.c_str(), prefix.size()) == 0)
        it = entries.erase(it);
      else
        ++it;
    }
    entries.push_back(prefix + Widen(value));
  }
  std::wstring envBlock;
  for (const std::wstring& e : entries) envBlock += e + L'\0';
  envBlock += L'\0';

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, envBlock.data(), nullptr, &startup, &info))
    RaiseLastOSError();
  ::CloseHandle(info.hThread);
  std::unique_ptr<ChildProcess> child(new ChildProcess());
  child->handle_ = info.hProcess;
  return child;
}

ChildProcess::~ChildProcess() {
  if (!finished_) {
    Kill();
    Wait();
  }
  if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
}

int ChildProcess::Wait() {
  if (finished_) return exitCode_;
  ::WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(static_cast<HANDLE>(handle_), &code);
  finished_ = true;
  exitCode_ = static_cast<int>(code);
  return exitCode_;
}

void ChildProcess::Kill() noexcept {
  if (!finished_) ::TerminateProcess(static_cast<HANDLE>(handle_), 137);
}

}  // namespace platform
