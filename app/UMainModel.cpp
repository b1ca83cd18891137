#include "app/UMainModel.h"

namespace UMain {

int SelectionForPath(const std::string& path) {
  std::string upper = path;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (upper == "C:\\QORD\\DB\\ZARVO.FDB") return 0;
  if (upper == "C:\\QORD\\DB\\TRADEDB\\TRADEDB.FDB") return 1;
  return -1;
}

std::string PathForSelection(int index) {
  if (index >= 0 && index < 3) return kKnownDatabases[index].path;
  return kNoSelectionPath;
}

}  // namespace UMain
