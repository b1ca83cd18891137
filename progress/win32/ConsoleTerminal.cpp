// Whether the console front end's stderr can show the redrawn progress display.
#include "platform/win32/WindowsSupport.h"
#include "progress/TerminalPresenter.h"

bool StderrIsTerminal() {
  HANDLE output = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (output == nullptr || output == INVALID_HANDLE_VALUE || !::GetConsoleMode(output, &mode))
    return false;
  // The display moves the cursor with escape codes; a console that cannot take them
  // gets the plain output.
  constexpr DWORD kVirtualTerminalProcessing = 0x0004;
  if (mode & kVirtualTerminalProcessing) return true;
  return ::SetConsoleMode(output, mode | kVirtualTerminalProcessing) != 0;
}
