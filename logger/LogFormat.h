// Levels, time stamps and the text formatter of the log.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

// Level of an entry, 0 to 7; higher values are never written.
using TLogLevel = std::uint8_t;
constexpr TLogLevel llPlain = 0;
constexpr TLogLevel llInfo = 1;
constexpr TLogLevel llError = 2;
constexpr TLogLevel llFailure = 3;
constexpr TLogLevel llWarning = 4;
constexpr TLogLevel llEvent = 5;
constexpr TLogLevel llDebug = 6;
constexpr TLogLevel llOther = 7;
constexpr TLogLevel kMaxLogLevel = 7;

// Mark of each level, indexed by level.
extern const char LevelMarks[9];
// Name tag of each level (" [инфо]", ...; empty for level 0), filled at module start-up.
extern std::array<std::string, 8> LevelNames;

// Date and time settings of the stamps; the log keeps its own set so that the
// machine's regional settings never change a stamp.
struct TFormatSettings {
  char DateSeparator = '.';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string LongDateFormat = "dd/mm/yyyy";
  std::string ShortTimeFormat = "hh:nn:ss.zzz";
  std::string LongTimeFormat = "hh:nn:ss.zzz";
};
extern TFormatSettings LogFormatSettings;

// Date-time values are days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

// The machine's local time now.
TDateTime Now();
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond);

// Formats `value` by `pattern`: d dd day, m mm month (minutes right after an hour),
// yy yyyy year, h hh hour 0-23, n nn minutes, s ss seconds, z zzz milliseconds,
// '/' the date separator, ':' the time separator, text in quotes as is, every
// other character copied.
//   "dd/mm/yyyy hh:nn:ss.zzz" -> "07.12.2026 09:49:22.123"
std::string FormatDateTime(const std::string& pattern, TDateTime value,
                           const TFormatSettings& settings);
// The same, appended to `out`.
void AppendDateTime(std::string& out, const std::string& pattern, TDateTime value,
                    const TFormatSettings& settings);
// Reads a date, a time, or a date and a time written with `settings` (day, month,
// year in the order of ShortDateFormat; "h:n[:s[.z]]"). A time alone gives a value
// with integer part 0. False when the text is not one of those.
bool TryStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& settings);

// One typed argument of the text formatter.
class LogArg {
 public:
  enum class Kind { kInteger, kUnsigned, kFloat, kText, kChar, kPointer };
  LogArg(int v) : kind_(Kind::kInteger), integer_(v) {}
  LogArg(long v) : kind_(Kind::kInteger), integer_(v) {}
  LogArg(long long v) : kind_(Kind::kInteger), integer_(v) {}
  LogArg(unsigned v) : kind_(Kind::kUnsigned), unsigned_(v) {}
  LogArg(unsigned long v) : kind_(Kind::kUnsigned), unsigned_(v) {}
  LogArg(unsigned long long v) : kind_(Kind::kUnsigned), unsigned_(v) {}
  LogArg(double v) : kind_(Kind::kFloat), float_(v) {}
  LogArg(char v) : kind_(Kind::kChar), text_(1, v) {}
  LogArg(const char* v) : kind_(Kind::kText), text_(v ? v : "") {}
  LogArg(std::string v) : kind_(Kind::kText), text_(std::move(v)) {}
  LogArg(const void* v) : kind_(Kind::kPointer), pointer_(reinterpret_cast<std::uintptr_t>(v)) {}

  Kind kind() const { return kind_; }
  long long integer() const { return integer_; }
  unsigned long long unsignedValue() const { return unsigned_; }
  double floating() const { return float_; }
  const std::string& text() const { return text_; }
  std::uintptr_t pointer() const { return pointer_; }

 private:
  Kind kind_;
  long long integer_ = 0;
  unsigned long long unsigned_ = 0;
  double float_ = 0;
  std::uintptr_t pointer_ = 0;
  std::string text_;
};

// Builds a text from a format with positional directives:
//   "%" [index ":"] ["-"] [width] ["." precision] type,  "%%" for a percent sign,
// types d u x (integers), e f g n m (numbers), s (text or character), p (pointer);
// width and precision may be "*" (taken from the next integer argument). A plain
// directive takes the argument after the last one used.
//   FormatText("%1:s-%0:s", {"a", "b"}) -> "b-a"      FormatText("%5.2f", {3.14159}) -> " 3.14"
// Raises EConvertError for a malformed directive, a missing argument or one of the
// wrong kind. Never reads past the format or the arguments.
std::string FormatText(const std::string& format, std::initializer_list<LogArg> args);
std::string FormatText(const std::string& format, const LogArg* args, std::size_t count);
