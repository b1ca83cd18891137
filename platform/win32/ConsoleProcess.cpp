#include "platform/ConsoleProcess.h"

#include <chrono>
#include <vector>

#include "platform/Encoding.h"
#include "platform/win32/WindowsSupport.h"
#include "support/Exceptions.h"

namespace platform {
namespace {

// A failure once the child has started: give it a second to end, else end it.
void AbandonChild(ScopedKernelHandle& thread, ScopedKernelHandle& process, DWORD processId) {
  thread.Reset();
  DWORD waited = process ? ::WaitForSingleObject(process.Get(), 1000) : WAIT_FAILED;
  process.Reset();
  if (waited != WAIT_OBJECT_0) {
    ScopedKernelHandle victim(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    if (victim) ::TerminateProcess(victim.Get(), 0);
  }
}

// Ends the child and every process it started that is still in its job.
void EndChildAndHeirs(HANDLE job, HANDLE process) {
  if (job) ::TerminateJobObject(job, ERROR_TIMEOUT);
  ::TerminateProcess(process, ERROR_TIMEOUT);
  ::WaitForSingleObject(process, 1000);
}

}  // namespace

void RunConsoleProcess(const std::string& commandLine, std::string& output,
                       std::chrono::milliseconds timeLimit) {
  // CreateProcessW may write into the command line it is given: hand it our own copy.
  std::wstring wide = Widen(commandLine);
  std::vector<wchar_t> commandCopy(wide.begin(), wide.end());
  commandCopy.push_back(L'\0');

  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  inheritable.lpSecurityDescriptor = nullptr;

  HANDLE rawRead = nullptr;
  HANDLE rawWrite = nullptr;
  if (!::CreatePipe(&rawRead, &rawWrite, &inheritable, 0)) RaiseLastOSError();
  ScopedKernelHandle readEnd(rawRead);
  ScopedKernelHandle writeEnd(rawWrite);

  HANDLE self = ::GetCurrentProcess();
  HANDLE rawError = nullptr;
  if (!::DuplicateHandle(self, writeEnd.Get(), self, &rawError, 0, TRUE, DUPLICATE_SAME_ACCESS))
    RaiseLastOSError();
  ScopedKernelHandle errorDuplicate(rawError);
  HANDLE rawInput = nullptr;
  if (!::DuplicateHandle(self, writeEnd.Get(), self, &rawInput, 0, TRUE, DUPLICATE_SAME_ACCESS))
    RaiseLastOSError();
  ScopedKernelHandle inputDuplicate(rawInput);

  STARTUPINFOW startup;
  ::ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = inputDuplicate.Get();  // write-only: a read fails at once
  startup.hStdOutput = writeEnd.Get();
  startup.hStdError = errorDuplicate.Get();

  // The child starts suspended and is put in a job of its own before it runs, so that
  // whatever it starts can be ended with it when the time runs out. A job that cannot
  // be had (a process already in a job that forbids nesting, on old systems) leaves
  // the child alone to be ended.
  ScopedKernelHandle job(::CreateJobObjectW(nullptr, nullptr));
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandCopy.data(), nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &info))
    RaiseLastOSError();
  ScopedKernelHandle process(info.hProcess);
  ScopedKernelHandle thread(info.hThread);
  if (job && !::AssignProcessToJobObject(job.Get(), process.Get())) job.Reset();
  if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
    DWORD code = ::GetLastError();
    ::TerminateProcess(process.Get(), code);
    RaiseOSError(code);
  }

  // The pipe breaks once the child, and everyone who inherited from it, has closed it.
  writeEnd.Reset();
  errorDuplicate.Reset();
  inputDuplicate.Reset();

  const auto deadline = std::chrono::steady_clock::now() + timeLimit;
  bool childEnded = false;
  try {
    output.clear();
    char buffer[256];
    for (;;) {
      // A blocking read cannot be given a time limit: wait for bytes (or a broken
      // pipe, which makes the peek fail) before reading.
      DWORD available = 0;
      if (::PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr) &&
          available == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
          EndChildAndHeirs(job.Get(), process.Get());
          childEnded = true;
          RaiseConsoleTimeLimit(commandLine, timeLimit, ERROR_TIMEOUT);
        }
        ::Sleep(5);
        continue;
      }
      DWORD read = 0;
      if (!::ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr)) {
        DWORD code = ::GetLastError();
        if (code == ERROR_BROKEN_PIPE) break;
        RaiseOSError(code);
      }
      if (read == 0) break;
      output.append(buffer, read);
    }
  } catch (...) {
    if (!childEnded) AbandonChild(thread, process, info.dwProcessId);
    throw;
  }
  if (!output.empty()) output = OemToUtf8(output);
}

}  // namespace platform
