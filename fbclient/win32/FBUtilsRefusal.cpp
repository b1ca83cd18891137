#include <cstdio>
#include <cstdlib>

#include "fbclient/FBUtils.h"
#include "platform/ConsoleOutput.h"
#include "platform/win32/WindowsSupport.h"

namespace FBUtils {

void RefuseStartWithMessageBox() {
  ::MessageBoxW(::GetActiveWindow(), platform::Widen(RefusalText()).c_str(),
                platform::Widen(kRefusalCaption).c_str(), MB_OK | MB_ICONERROR);
  ::ExitProcess(0);
}

void RefuseStartOnConsole() {
  platform::WriteConsoleText(stderr, RefusalText() + "\n");
  ::ExitProcess(0);
}

}  // namespace FBUtils
