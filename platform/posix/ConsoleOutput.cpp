#include "platform/ConsoleOutput.h"

namespace platform {

void WriteConsoleText(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace platform
