// Whether the console front end's stderr can show the redrawn progress display.
#include "platform/win32/WindowsSupport.h"
#include "progress/TerminalPresenter.h"

namespace {

// Writes a colour reset, which a console that honours escape codes shows as nothing.
// One that does not (Wine's accepts the switch and ignores it; an old Windows
// console refuses it) shows the characters and moves the cursor: they are wiped out
// again and the cursor put back, and the answer is no.
bool ConsoleHonoursEscapes(HANDLE output) {
  CONSOLE_SCREEN_BUFFER_INFO before;
  if (!::GetConsoleScreenBufferInfo(output, &before)) return false;
  const wchar_t probe[] = L"\x1b[0m";
  DWORD written = 0;
  if (!::WriteConsoleW(output, probe, 4, &written, nullptr)) return false;
  CONSOLE_SCREEN_BUFFER_INFO after;
  if (!::GetConsoleScreenBufferInfo(output, &after)) return false;
  if (after.dwCursorPosition.X == before.dwCursorPosition.X &&
      after.dwCursorPosition.Y == before.dwCursorPosition.Y)
    return true;
  // Shown as characters: at most the four cells from where the cursor stood (the
  // buffer's last row may have scrolled up by one meanwhile).
  COORD from = before.dwCursorPosition;
  if (after.dwCursorPosition.Y < from.Y ||
      (after.dwCursorPosition.Y == from.Y && after.dwCursorPosition.X < from.X))
    from.Y = static_cast<SHORT>(from.Y > 0 ? from.Y - 1 : 0);
  DWORD filled = 0;
  ::FillConsoleOutputCharacterW(output, L' ', 4, from, &filled);
  ::SetConsoleCursorPosition(output, from);
  return false;
}

}  // namespace

bool StderrIsTerminal() {
  HANDLE output = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (output == nullptr || output == INVALID_HANDLE_VALUE || !::GetConsoleMode(output, &mode))
    return false;
  // The display moves the cursor with escape codes; a console that cannot take them
  // gets the plain output.
  constexpr DWORD kVirtualTerminalProcessing = 0x0004;
  if (!(mode & kVirtualTerminalProcessing) &&
      !::SetConsoleMode(output, mode | kVirtualTerminalProcessing))
    return false;
  return ConsoleHonoursEscapes(output);
}
