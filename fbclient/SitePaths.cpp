#include "fbclient/SitePaths.h"

#include <cstdlib>

namespace fbclient {

std::string SiteRoot() {
#ifdef _WIN32
  return "C:\\QORD\\";
#else
  const char* root = std::getenv("QVN_QORD_ROOT");
  if (root == nullptr || *root == '\0') return "/opt/QORD/";
  std::string path(root);
  if (path.back() != '/') path += '/';
  return path;
#endif
}

}  // namespace fbclient
