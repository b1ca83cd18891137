// Log-off and shut-down held back while the database is rebuilt. The program's
// thread is blocked meanwhile, so Windows would otherwise end it between the restore
// and the swap; with a reason registered on the window, Windows shows that reason
// and waits instead.
#pragma once

#include <string>

#include "platform/win32/WindowsSupport.h"

class ShutdownBlock {
 public:
  // The system's calls (Windows Vista and later), looked up in user32 at first use;
  // where one is missing it stays null and is skipped. A test may put its own in.
  struct Calls {
    BOOL(WINAPI* create)(HWND window, LPCWSTR reason) = nullptr;
    BOOL(WINAPI* destroy)(HWND window) = nullptr;
  };
  static Calls& SystemCalls();

  // While this lives, `window` answers WM_QUERYENDSESSION with FALSE (IsHeld) and
  // carries `reason` for Windows to show.
  ShutdownBlock(HWND window, const std::string& reason);
  ~ShutdownBlock();
  ShutdownBlock(const ShutdownBlock&) = delete;
  ShutdownBlock& operator=(const ShutdownBlock&) = delete;

  static bool IsHeld(HWND window);

  // The window property that marks the hold; other processes can read it too.
  static constexpr wchar_t kHeldProperty[] = L"QVNOptimizeDB.SessionEndHeld";

 private:
  HWND window_;
  bool reasonRegistered_ = false;
};
