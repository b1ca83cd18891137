#include "logger/LogFormat.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/LocalTime.h"
#include "support/Exceptions.h"

const char LevelMarks[9] = "-+?!#$%@";
std::array<std::string, 8> LevelNames;
TFormatSettings LogFormatSettings;

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

const long long kEpochOffset = DaysFromCivil(1899, 12, 30);  // day 0 of TDateTime
constexpr long long kMsPerDay = 86400000;

// Appends a non-negative number with at least `digits` digits (stamps are built per
// line, so no printf here).
void AppendNumber(std::string& out, long long value, int digits) {
  char buffer[24];
  int n = 0;
  unsigned long long v = value < 0 ? 0 : static_cast<unsigned long long>(value);
  do {
    buffer[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0 && n < 20);
  while (n < digits && n < 20) buffer[n++] = '0';
  char ordered[24];
  for (int i = 0; i < n; ++i) ordered[i] = buffer[n - 1 - i];
  out.append(ordered, static_cast<std::size_t>(n));
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
  double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
  return days + ms / kMsPerDay;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond) {
  if (!std::isfinite(value)) value = 0;
  long long total = std::llround(value * kMsPerDay);
  long long days = total / kMsPerDay;
  long long ms = total % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --days;
  }
  CivilFromDays(days + kEpochOffset, year, month, day);
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  millisecond = static_cast<int>(ms % 1000);
}

TDateTime Now() {
  platform::LocalDateTime t = platform::LocalNow();
  return EncodeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

std::string FormatDateTime(const std::string& pattern, TDateTime value,
                           const TFormatSettings& settings) {
  std::string out;
  AppendDateTime(out, pattern, value, settings);
  return out;
}

void AppendDateTime(std::string& out, const std::string& pattern, TDateTime value,
                    const TFormatSettings& settings) {
  int year, month, day, hour, minute, second, ms;
  DecodeDateTime(value, year, month, day, hour, minute, second, ms);
  if (pattern == "dd/mm/yyyy hh:nn:ss.zzz" && year >= 0 && year <= 9999) {
    // The stamp of every line: built without the pattern walk.
    char s[23];
    auto two = [](char* at, int v) {
      at[0] = static_cast<char>('0' + v / 10);
      at[1] = static_cast<char>('0' + v % 10);
    };
    two(s, day);
    s[2] = settings.DateSeparator;
    two(s + 3, month);
    s[5] = settings.DateSeparator;
    two(s + 6, year / 100);
    two(s + 8, year % 100);
    s[10] = ' ';
    two(s + 11, hour);
    s[13] = settings.TimeSeparator;
    two(s + 14, minute);
    s[16] = settings.TimeSeparator;
    two(s + 17, second);
    s[19] = '.';
    s[20] = static_cast<char>('0' + ms / 100);
    two(s + 21, ms % 100);
    out.append(s, sizeof s);
    return;
  }
  bool afterHour = false;  // "mm" right after an hour means minutes
  std::size_t i = 0;
  const std::size_t n = pattern.size();
  auto run = [&](char letter) {
    std::size_t count = 0;
    while (i < n && (pattern[i] | 0x20) == letter) ++i, ++count;
    return count;
  };
  while (i < n) {
    char c = pattern[i];
    char lower = static_cast<char>(c | 0x20);
    if (c == '\'' || c == '"') {
      std::size_t end = pattern.find(c, i + 1);
      if (end == std::string::npos) end = n;
      out.append(pattern, i + 1, end - i - 1);
      i = end < n ? end + 1 : n;
      continue;
    }
    switch (lower) {
      case 'd': AppendNumber(out, day, run('d') >= 2 ? 2 : 1); afterHour = false; continue;
      case 'm': {
        std::size_t count = run('m');
        AppendNumber(out, afterHour ? minute : month, count >= 2 ? 2 : 1);
        afterHour = false;
        continue;
      }
      case 'y': {
        std::size_t count = run('y');
        if (count <= 2) AppendNumber(out, year % 100, 2);
        else AppendNumber(out, year, 4);
        afterHour = false;
        continue;
      }
      case 'h': AppendNumber(out, hour, run('h') >= 2 ? 2 : 1); afterHour = true; continue;
      case 'n': AppendNumber(out, minute, run('n') >= 2 ? 2 : 1); afterHour = false; continue;
      case 's': AppendNumber(out, second, run('s') >= 2 ? 2 : 1); afterHour = false; continue;
      case 'z': AppendNumber(out, ms, run('z') >= 3 ? 3 : 1); afterHour = false; continue;
      default: break;
    }
    if (c == '/') out += settings.DateSeparator;
    else if (c == ':') out += settings.TimeSeparator;
    else out += c;
    ++i;
  }
}

namespace {

// Reads an unsigned decimal number of at most `maxDigits` digits.
bool ReadNumber(const std::string& s, std::size_t& i, int maxDigits, int& value) {
  std::size_t start = i;
  value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && static_cast<int>(i - start) < maxDigits)
    value = value * 10 + (s[i++] - '0');
  return i > start && !(i < s.size() && s[i] >= '0' && s[i] <= '9');
}

void SkipBlanks(const std::string& s, std::size_t& i) {
  while (i < s.size() && s[i] == ' ') ++i;
}

// Order of day, month and year in a date pattern: "dmy", "mdy" or "ymd".
std::string DateOrder(const std::string& pattern) {
  std::string order;
  for (char c : pattern) {
    char lower = static_cast<char>(c | 0x20);
    if ((lower == 'd' || lower == 'm' || lower == 'y') && order.find(lower) == std::string::npos)
      order += lower;
  }
  return order.size() == 3 ? order : "dmy";
}

}  // namespace

bool TryStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& settings) {
  std::size_t i = 0;
  SkipBlanks(text, i);
  double days = 0;
  // A date: three numbers with the date separator between them.
  std::size_t probe = i;
  int first = 0;
  if (!ReadNumber(text, probe, 4, first)) return false;
  bool haveDate = probe < text.size() && text[probe] == settings.DateSeparator;
  if (haveDate) {
    int parts[3];
    for (int k = 0; k < 3; ++k) {
      if (!ReadNumber(text, i, 4, parts[k])) return false;
      if (k < 2) {
        if (i >= text.size() || text[i] != settings.DateSeparator) return false;
        ++i;
      }
    }
    std::string order = DateOrder(settings.ShortDateFormat);
    int day = parts[order.find('d')], month = parts[order.find('m')], year = parts[order.find('y')];
    if (year < 100) year += 2000;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    days = EncodeDateTime(year, month, day, 0, 0, 0, 0);
    SkipBlanks(text, i);
    if (i == text.size()) {
      value = days;
      return true;
    }
  }
  int hour = 0, minute = 0, second = 0, ms = 0;
  if (!ReadNumber(text, i, 2, hour)) return false;
  if (i >= text.size() || text[i] != settings.TimeSeparator) return false;
  ++i;
  if (!ReadNumber(text, i, 2, minute)) return false;
  if (i < text.size() && text[i] == settings.TimeSeparator) {
    ++i;
    if (!ReadNumber(text, i, 2, second)) return false;
    if (i < text.size() && text[i] == settings.DecimalSeparator) {
      ++i;
      if (!ReadNumber(text, i, 3, ms)) return false;
    }
  }
  SkipBlanks(text, i);
  if (i != text.size() || hour > 23 || minute > 59 || second > 59) return false;
  value = days + (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / kMsPerDay;
  return true;
}

// ---- text formatter ----

namespace {

[[noreturn]] void InvalidFormat(const std::string& format) {
  throw EConvertError("Format '" + format + "' invalid or incompatible with argument");
}

[[noreturn]] void MissingArgument(const std::string& format) {
  throw EConvertError("No argument for format '" + format + "'");
}

constexpr int kMaxWidth = 4096;  // a wider field is taken for a malformed directive

// The number printed with the C locale's decimal point replaced by '.'.
std::string PrintFloat(const char* pattern, int precision, double value) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, pattern, precision, value);
  std::string out = buffer;
  const char* point = std::localeconv()->decimal_point;
  if (point != nullptr && std::strcmp(point, ".") != 0 && *point != '\0') {
    std::size_t at = out.find(point);
    if (at != std::string::npos) out.replace(at, std::strlen(point), ".");
  }
  return out;
}

std::string GroupThousands(const std::string& number) {
  std::size_t start = (number[0] == '-') ? 1 : 0;
  std::size_t end = number.find('.');
  if (end == std::string::npos) end = number.size();
  std::string out = number.substr(0, start);
  for (std::size_t i = start; i < end; ++i) {
    if (i > start && (end - i) % 3 == 0) out += ',';
    out += number[i];
  }
  return out + number.substr(end);
}

}  // namespace

std::string FormatText(const std::string& format, std::initializer_list<LogArg> args) {
  return FormatText(format, args.begin(), args.size());
}

std::string FormatText(const std::string& format, const LogArg* args, std::size_t count) {
  std::string out;
  std::size_t next = 0;  // the argument a plain directive takes
  const std::size_t n = format.size();
  std::size_t i = 0;

  auto takeArg = [&](std::size_t index) -> const LogArg& {
    if (index >= count) MissingArgument(format);
    return args[index];
  };
  // A number or "*" of a directive; -1 when there is none.
  auto readCount = [&]() -> long long {
    if (i < n && format[i] == '*') {
      ++i;
      const LogArg& a = takeArg(next++);
      if (a.kind() != LogArg::Kind::kInteger) InvalidFormat(format);
      if (a.integer() < 0 || a.integer() > kMaxWidth) InvalidFormat(format);
      return a.integer();
    }
    if (i >= n || format[i] < '0' || format[i] > '9') return -1;
    long long value = 0;
    while (i < n && format[i] >= '0' && format[i] <= '9') {
      value = value * 10 + (format[i++] - '0');
      if (value > kMaxWidth) InvalidFormat(format);
    }
    return value;
  };

  while (i < n) {
    char c = format[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= n) InvalidFormat(format);
    if (format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    long long width = -1;
    bool leftAlign = false;
    long long first = readCount();
    if (first >= 0 && i < n && format[i] == ':') {  // an argument index
      next = static_cast<std::size_t>(first);
      ++i;
    } else {
      width = first;
    }
    if (width < 0) {
      if (i < n && format[i] == '-') {
        leftAlign = true;
        ++i;
      }
      width = readCount();
    }
    long long precision = -1;
    if (i < n && format[i] == '.') {
      ++i;
      precision = readCount();
      if (precision < 0) precision = 0;
    }
    if (i >= n) InvalidFormat(format);
    char type = static_cast<char>(format[i++] | 0x20);
    const LogArg& arg = takeArg(next++);
    std::string field;
    switch (type) {
      case 'd':
      case 'u':
      case 'x': {
        unsigned long long magnitude;
        bool negative = false;
        if (arg.kind() == LogArg::Kind::kInteger) {
          long long v = arg.integer();
          if (type == 'd') {
            negative = v < 0;
            magnitude = negative ? 0ULL - static_cast<unsigned long long>(v)
                                 : static_cast<unsigned long long>(v);
          } else {
            magnitude = static_cast<unsigned long long>(v);
          }
        } else if (arg.kind() == LogArg::Kind::kUnsigned) {
          magnitude = arg.unsignedValue();
        } else {
          InvalidFormat(format);
        }
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, type == 'x' ? "%llX" : "%llu", magnitude);
        std::string digits = buffer;
        if (precision > static_cast<long long>(digits.size()))
          digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
        field = (negative ? "-" : "") + digits;
        break;
      }
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        double v;
        if (arg.kind() == LogArg::Kind::kFloat) v = arg.floating();
        else InvalidFormat(format);
        if (type == 'e') field = PrintFloat("%.*E", precision < 0 ? 14 : int(std::max(precision - 1, 0LL)), v);
        else if (type == 'g') field = PrintFloat("%.*G", precision < 0 ? 15 : int(precision), v);
        else if (type == 'f') field = PrintFloat("%.*f", precision < 0 ? 2 : int(precision), v);
        else field = GroupThousands(PrintFloat("%.*f", precision < 0 ? 2 : int(precision), v));
        break;
      }
      case 's':
        if (arg.kind() != LogArg::Kind::kText && arg.kind() != LogArg::Kind::kChar)
          InvalidFormat(format);
        field = arg.text();
        if (precision >= 0 && static_cast<std::size_t>(precision) < field.size())
          field.resize(static_cast<std::size_t>(precision));
        break;
      case 'p': {
        if (arg.kind() != LogArg::Kind::kPointer) InvalidFormat(format);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                      static_cast<unsigned long long>(arg.pointer()));
        field = buffer;
        break;
      }
      default:
        InvalidFormat(format);
    }
    if (width > static_cast<long long>(field.size())) {
      std::string pad(static_cast<std::size_t>(width) - field.size(), ' ');
      field = leftAlign ? field + pad : pad + field;
    }
    out += field;
  }
  return out;
}
