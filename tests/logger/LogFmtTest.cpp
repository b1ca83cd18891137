#include <gtest/gtest.h>

#include <random>

#include "LoggerTestSupport.h"
#include "support/Exceptions.h"

namespace {

TEST(LogFmt, Directives) {
  struct Case {
    const char* format;
    std::vector<LogArg> args;
    const char* expected;
  } cases[] = {
      {"plain", {}, "plain"},
      {"%s", {"text"}, "text"},
      {"%d", {-42}, "-42"},
      {"%0:s and %1:s", {"a", "b"}, "a and b"},
      {"%1:s-%0:s-%s", {"a", "b"}, "b-a-b"},
      {"%0:s %0:s", {"x"}, "x x"},
      {"<P:%d;T:%d>", {12, 34}, "<P:12;T:34>"},
      {"Log file open timeout: %d ms (%s)", {200, "busy"}, "Log file open timeout: 200 ms (busy)"},
      {"100%% %s", {"ok"}, "100% ok"},
      {"[%5s][%-5s][%.2s]", {"ab", "ab", "abcdef"}, "[   ab][ab   ][ab]"},
      {"[%4d][%.3d][%x][%u]", {7, 7, 255, 9u}, "[   7][007][FF][9]"},
      {"%*d", {3, 5}, "  5"},
      {"%.2f %n", {3.14159, 1234567.5}, "3.14 1,234,567.50"},
      {"%d", {9223372036854775807LL}, "9223372036854775807"},
      {"%d", {-9223372036854775807LL - 1}, "-9223372036854775808"},
      {"%s", {'c'}, "c"},
      {"Ошибка %s", {"Привет"}, "Ошибка Привет"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatText(c.format, c.args.data(), c.args.size()), c.expected) << c.format;
}

TEST(LogFmt, BadFormatsRaiseConvertErrors) {
  struct Case {
    const char* format;
    std::vector<LogArg> args;
  } cases[] = {
      {"%s", {}},          {"%1:s", {"only"}}, {"%d", {"text"}}, {"%s", {5}},
      {"%", {"a"}},        {"abc %", {}},      {"%q", {1}},      {"%0:", {1}},
      {"%99999999999999999999d", {1}},         {"%*d", {"x", 1}}, {"%f", {1}},
      {"%s %s", {"a"}},   {"%5000s", {"a"}},
  };
  for (const Case& c : cases)
    EXPECT_THROW(FormatText(c.format, c.args.data(), c.args.size()), EConvertError) << c.format;
}

TEST(LogFmt, FailureNamesTheFormatAndLogsNothing) {
  loggertest::TempDir dir;
  TQLXLogger logger(dir / "fmt.log");
  try {
    logger.LogFmt("%0:s and %1:s", {"single"});
    FAIL() << "no failure raised";
  } catch (const EConvertError&) {
    FAIL() << "raised as a conversion error, not the general kind";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.ClassName()), "Exception");
    EXPECT_EQ(e.Message().rfind("Error args for string [%0:s and %1:s]: ", 0), 0u) << e.Message();
  }
  EXPECT_FALSE(platform::FileExists(dir / "fmt.log"));
  logger.LogFmt("%0:s and %1:s", {"a", "b"}, llError);
  EXPECT_NE(loggertest::ReadBytes(dir / "fmt.log").find(" [\xEE\xF8\xE8\xE1] a and b\r\n"),
            std::string::npos);
}

// Random formats over random arguments: either a text or EConvertError, never a crash
// or a read outside the format or the arguments (the sanitizer build watches that).
TEST(LogFmt, RandomFormatsNeverCrash) {
  std::mt19937 random(12345);
  const std::string alphabet = "%%%%0123456789:.*-sdxufgenmpq ab";
  std::vector<LogArg> pool = {1, -7, 3.5, "text", 'c', 42u, static_cast<const void*>(nullptr)};
  for (int round = 0; round < 20000; ++round) {
    std::string format;
    int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) format += alphabet[random() % alphabet.size()];
    std::vector<LogArg> args;
    int count = static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) args.push_back(pool[random() % pool.size()]);
    try {
      std::string out = FormatText(format, args.data(), args.size());
      EXPECT_LT(out.size(), 4 * 4096u + 64);
    } catch (const EConvertError&) {
    }
  }
}

}  // namespace
