#include "maintenance/FileNames.h"

#include <cstdint>
#include <cstdio>

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

std::string NameDigest(const std::string& key) {
  std::uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ULL;
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return digits;
}
