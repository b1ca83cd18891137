#include "platform/ConsoleOutput.h"

namespace platform {

std::string ToOtherCodePage(const std::string& text, unsigned) {
  // ASCII stays; each other character (its lead byte) becomes one '?'.
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80) out += static_cast<char>(c);
    else if ((c & 0xC0) != 0x80) out += '?';
  }
  return out;
}

unsigned ConsoleCodePage() { return 65001; }

void WriteConsoleText(std::FILE* stream, const std::string& text) {
  std::string lines = WithCrLf(text);
  std::fwrite(lines.data(), 1, lines.size(), stream);
  std::fflush(stream);
}

void WriteUtf8Text(std::FILE* stream, const std::string& text) { WriteConsoleText(stream, text); }

}  // namespace platform
