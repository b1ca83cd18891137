// The header-page reader over the statistics service's text, one line per '\n'.
#include <cstdint>
#include <string>
#include <vector>

#include "maintenance/DatabaseHeader.h"
#include "support/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') lines.emplace_back();
    else lines.back() += static_cast<char>(data[i]);
  }
  try {
    TDatabaseHeader header = ParseDatabaseHeader(lines);
    (void)header.Online();
  } catch (const Exception&) {
  }
  return 0;
}
