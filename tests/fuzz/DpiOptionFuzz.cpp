// The display-scaling option: arguments are the input's lines. The resolution is the
// system's or a number of at most three digits above 0.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ScaleUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') arguments.emplace_back();
    else arguments.back() += static_cast<char>(data[i]);
  }
  constexpr int kSystem = 1234;  // no option can give this
  int ppi = ScaleUtils::ResolutionFromArguments(arguments, kSystem);
  if (ppi != kSystem && (ppi < 1 || ppi > 999)) std::abort();
  (void)ScaleUtils::Scale(static_cast<int>(size), ppi);
  return 0;
}
