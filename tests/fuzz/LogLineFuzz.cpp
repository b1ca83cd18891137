// The log line formatter and the log's encoding. The first byte picks the line's
// parts, the rest is the message: the line is empty for a blank message and
// otherwise ends with the message without its outer blanks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "logger/QLXLogger.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TQLXLogger logger("");
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  logger.ShowLevelMark = flags & 1;
  logger.ShowLevelName = flags & 2;
  logger.ShowProcessId = flags & 4;
  logger.ShowThreadId = flags & 8;
  logger.SourceName = flags & 16 ? "QVNOptimizeDB" : "";
  const TLogLevel level = static_cast<TLogLevel>(flags >> 5);
  const std::string line = logger.FormatLine(text, level, 4242, 46363.5);

  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  const std::string message = text.substr(begin, end - begin);
  if (message.empty() != line.empty()) std::abort();
  if (line.empty()) return 0;
  if (line.size() < message.size() + 1 ||
      line.compare(line.size() - message.size() - 1, std::string::npos, " " + message) != 0)
    std::abort();
  (void)ToLogBytes(line);
  return 0;
}
