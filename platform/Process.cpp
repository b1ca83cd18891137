#include "platform/Process.h"

namespace platform {
namespace {

std::size_t LastSeparator(const std::string& path) {
#ifdef _WIN32
  return path.find_last_of("\\/:");
#else
  return path.find_last_of('/');
#endif
}

}  // namespace

std::string ExtractFilePath(const std::string& path) {
  std::size_t pos = LastSeparator(path);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string ExtractFileName(const std::string& path) {
  std::size_t pos = LastSeparator(path);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string ExecutableDir() { return ExtractFilePath(ExecutablePath()); }

}  // namespace platform
