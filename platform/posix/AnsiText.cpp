#include "platform/AnsiText.h"

namespace platform {

std::string Utf8ToAnsi(const std::string& text) { return text; }
std::string AnsiToUtf8(const std::string& bytes) { return bytes; }

}  // namespace platform
