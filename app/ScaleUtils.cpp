#include "app/ScaleUtils.h"

#include <cstdint>

namespace ScaleUtils {
namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// A whole decimal number with an optional sign, or 0 for anything else.
int DecimalOrZero(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return 0;
  int value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    value = value * 10 + (text[i] - '0');  // at most three digits: no overflow
  }
  return negative ? -value : value;
}

}  // namespace

int ResolutionFromArguments(const std::vector<std::string>& arguments, int systemPixelsPerInch) {
  for (const std::string& argument : arguments) {
    std::string upper = UpperAscii(argument);
    if (upper.size() < 6) continue;
    if (upper[0] != '-' && upper[0] != '/') continue;
    if (upper.compare(1, 3, "DPI") != 0) continue;
    int value = DecimalOrZero(upper.substr(4, 3));
    return value > 0 ? value : systemPixelsPerInch;
  }
  return systemPixelsPerInch;
}

int Scale(int designPixels, int pixelsPerInch) {
  // MulDiv: the exact product, then division rounded half away from zero.
  std::int64_t product = static_cast<std::int64_t>(designPixels) * pixelsPerInch;
  std::int64_t half = kDesignPixelsPerInch / 2;
  std::int64_t q = product >= 0 ? (product + half) / kDesignPixelsPerInch
                                : -((-product + half) / kDesignPixelsPerInch);
  return static_cast<int>(q);
}

}  // namespace ScaleUtils
