// The utility library's settings-file reader: a value it finds never spans lines or
// keeps blanks around it.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fbutils/IniSetting.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"Password", "Port"}) {
    std::istringstream in(text);
    std::string value;
    if (!ReadIniSetting(in, key, value)) continue;
    if (value.find('\n') != std::string::npos) std::abort();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    if (!value.empty() && (blank(value.front()) || blank(value.back()))) std::abort();
  }
  return 0;
}
