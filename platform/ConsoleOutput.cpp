#include "platform/ConsoleOutput.h"

#include "platform/Encoding.h"

namespace platform {

// The conversion a platform adds for the code pages not handled here.
std::string ToOtherCodePage(const std::string& text, unsigned codePage);

std::string ToCodePage(const std::string& text, unsigned codePage) {
  switch (codePage) {
    case 65001: return text;
    case 866: return Utf8ToCp866(text);
    case 1251: return Utf8ToCp1251(text);
    default: return ToOtherCodePage(text, codePage);
  }
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // its LF adds it
    if (text[i] == '\n') out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace platform
