#include <cstdio>
#include <cstdlib>

#include "fbclient/FBUtils.h"
#include "platform/ConsoleOutput.h"

namespace FBUtils {

void RefuseStartWithMessageBox() { RefuseStartOnConsole(); }

void RefuseStartOnConsole() {
  platform::WriteConsoleText(stderr, RefusalText() + "\n");
  std::_Exit(0);
}

}  // namespace FBUtils
