// Conversions of the values that ChangeStringParams takes.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "progress/ProgressTypes.h"
#include "support/Exceptions.h"

namespace {

const char* TypeName(const TVariant& value) {
  switch (value.index()) {
    case 0:
      return "Empty";
    case 1:
      return "Boolean";
    case 2:
      return "Int64";
    case 3:
      return "Double";
    default:
      return "String";
  }
}

[[noreturn]] void CannotConvert(const TVariant& value, const char* target) {
  throw EConvertError(std::string("Could not convert variant of type (") + TypeName(value) +
                      ") into type (" + target + ")");
}

// Whole decimal or $hex number, blanks around allowed: " 42" -> 42, "$1F" -> 31.
bool ParseInteger(const std::string& text, std::int64_t& result) {
  std::size_t begin = text.find_first_not_of(" \t");
  std::size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) return false;
  std::string digits = text.substr(begin, end - begin + 1);
  int base = 10;
  bool negative = false;
  std::size_t at = 0;
  if (digits[at] == '-' || digits[at] == '+') negative = digits[at++] == '-';
  if (at < digits.size() && digits[at] == '$') {
    base = 16;
    ++at;
  }
  if (at >= digits.size()) return false;
  const char* start = digits.c_str() + at;
  char* stop = nullptr;
  errno = 0;
  unsigned long long magnitude = std::strtoull(start, &stop, base);
  if (errno != 0 || *stop != '\0' || *start == '-' || *start == '+' || *start == ' ') return false;
  if (magnitude > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
    return false;
  result = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

}  // namespace

std::string VarToStr(const TVariant& value) {
  switch (value.index()) {
    case 0:
      return std::string();
    case 1:
      return std::get<bool>(value) ? "True" : "False";
    case 2:
      return std::to_string(std::get<std::int64_t>(value));
    case 3: {
      char text[64];
      std::snprintf(text, sizeof text, "%.15g", std::get<double>(value));
      return text;
    }
    default:
      return std::get<std::string>(value);
  }
}

std::int64_t VarToInt(const TVariant& value) {
  // Fields take at most 32 bits; colours use all of them, so both signed and
  // unsigned 32-bit values are accepted.
  constexpr std::int64_t kLowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kHighest = std::numeric_limits<std::uint32_t>::max();
  std::int64_t result = 0;
  switch (value.index()) {
    case 0:
      return 0;
    case 1:
      return std::get<bool>(value) ? 1 : 0;
    case 2:
      result = std::get<std::int64_t>(value);
      break;
    case 3: {
      double number = std::get<double>(value);
      if (!std::isfinite(number) || number < kLowest || number > kHighest)
        CannotConvert(value, "Integer");
      result = static_cast<std::int64_t>(std::llround(number));
      break;
    }
    default:
      if (!ParseInteger(std::get<std::string>(value), result)) CannotConvert(value, "Integer");
      break;
  }
  if (result < kLowest || result > kHighest) CannotConvert(value, "Integer");
  return result;
}

bool VarToBool(const TVariant& value) {
  switch (value.index()) {
    case 0:
      return false;
    case 1:
      return std::get<bool>(value);
    case 2:
      return std::get<std::int64_t>(value) != 0;
    case 3:
      return std::get<double>(value) != 0;
    default: {
      std::string text = std::get<std::string>(value);
      for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (text == "true") return true;
      if (text == "false") return false;
      std::int64_t number = 0;
      if (ParseInteger(text, number)) return number != 0;
      CannotConvert(value, "Boolean");
    }
  }
}
