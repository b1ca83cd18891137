#include "platform/SystemError.h"

namespace platform {

std::string TrimSystemMessage(std::string text) {
  while (!text.empty()) {
    char c = text.back();
    if (c == ' ' || c == '\r' || c == '\n' || c == '.' || c == '\t') {
      text.pop_back();
    } else {
      break;
    }
  }
  return text;
}

}  // namespace platform
