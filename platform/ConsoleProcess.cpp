#include "platform/ConsoleProcess.h"

#include "support/Exceptions.h"

namespace platform {

void RaiseConsoleTimeLimit(const std::string& commandLine, std::chrono::milliseconds timeLimit,
                           std::uint32_t timeoutCode) {
  long long seconds = (timeLimit.count() + 999) / 1000;
  throw EOSError("Программа не завершила работу за " + std::to_string(seconds) +
                     " с и была остановлена: " + commandLine,
                 timeoutCode);
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> args;
  std::size_t i = 0;
  const std::size_t n = commandLine.size();
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  for (;;) {
    while (i < n && isBlank(commandLine[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n) {
      char c = commandLine[i];
      if (c == '\\') {
        std::size_t slashes = 0;
        while (i < n && commandLine[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < n && commandLine[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++i;
          }
          // an even count leaves the quote to the code below
        } else {
          arg.append(slashes, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      if (!quoted && isBlank(c)) break;
      arg += c;
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace platform
