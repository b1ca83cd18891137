#include <cstdio>
#include <cstdlib>

#include "fbclient/FBUtils.h"

namespace FBUtils {

void RefuseStartWithMessageBox() { RefuseStartOnConsole(); }

void RefuseStartOnConsole() {
  std::fprintf(stderr, "%s\n", kRefusalText);
  std::fflush(stderr);
  std::_Exit(0);
}

}  // namespace FBUtils
