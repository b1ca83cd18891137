#include "platform/Interrupt.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

// Set once the program has put things right; made at the first use.
HANDLE HandledEvent() {
  static HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

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
  WaitUntilInterruptionHandled(20000);
  return TRUE;
}

}  // namespace

void WatchForInterruption() {
  static bool started = false;
  if (started) return;
  started = true;
  HandledEvent();
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void InterruptionHandled() noexcept {
  if (HANDLE event = HandledEvent()) ::SetEvent(event);
}

void WaitUntilInterruptionHandled(unsigned milliseconds) noexcept {
  if (HANDLE event = HandledEvent()) ::WaitForSingleObject(event, milliseconds);
}

}  // namespace platform
