// Windows command-line splitting: any text splits; the arguments it gives, quoted by
// the C runtime's rules and joined again, split back into the same arguments.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ConsoleProcess.h"

namespace {

std::string Quote(const std::string& argument) {
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; elsewhere as is.
    out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, '\\');  // the closing quote follows
  return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = platform::SplitCommandLine(line);
  std::string quoted;
  for (const std::string& argument : arguments) quoted += (quoted.empty() ? "" : " ") + Quote(argument);
  if (platform::SplitCommandLine(quoted) != arguments) std::abort();
  return 0;
}
