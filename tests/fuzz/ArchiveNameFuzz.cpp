// The archive-number reader of the log folder's names: a tail it accepts is an
// optional dot and the decimal digits of the number it returns (leading zeros aside).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "logger/QLXLogger.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string tail(reinterpret_cast<const char*>(data), size);
  long long number = ArchiveNumberOf(tail);
  if (number < -1) std::abort();
  if (number >= 0) {
    std::string digits = !tail.empty() && tail[0] == '.' ? tail.substr(1) : tail;
    std::size_t first = digits.find_first_not_of('0');
    std::string significant = first == std::string::npos ? "0" : digits.substr(first);
    if (significant != std::to_string(number)) std::abort();
  }
  return 0;
}
