#include "platform/Interrupt.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

HANDLE handled = nullptr;  // set once the program has put things right

const char* EventName(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return "CTRL_C_EVENT";
    case CTRL_BREAK_EVENT: return "CTRL_BREAK_EVENT";
    case CTRL_CLOSE_EVENT: return "CTRL_CLOSE_EVENT";
    case CTRL_LOGOFF_EVENT: return "CTRL_LOGOFF_EVENT";
    default: return "CTRL_SHUTDOWN_EVENT";
  }
}

// Runs on a thread the system makes for it. For a closed window, log-off and shutdown
// the system ends the process as soon as the handler returns: it waits for the
// program to have put things right (the system allows some seconds).
BOOL WINAPI OnConsoleEvent(DWORD event) {
  RequestInterruption(EventName(event));
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  if (handled != nullptr) ::WaitForSingleObject(handled, 20000);
  return TRUE;
}

}  // namespace

void WatchForInterruption() {
  if (handled != nullptr) return;
  handled = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void InterruptionHandled() noexcept {
  if (handled != nullptr) ::SetEvent(handled);
}

}  // namespace platform
