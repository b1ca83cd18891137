#include "maintenance/FileNames.h"

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
#ifdef _WIN32
  const char* const separators = "\\/:";
#else
  const char* const separators = "/";
#endif
  std::string::size_type nameStart = path.find_last_of(separators);
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  std::string::size_type dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + extension;
  return path.substr(0, dot) + extension;
}
