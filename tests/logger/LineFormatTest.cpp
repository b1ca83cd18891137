#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>

#include "LoggerTestSupport.h"
#include "platform/Encoding.h"
#include "platform/Process.h"

using loggertest::SampleTime;

namespace {

const char* const kStamp = "07.12.2026 09:49:22.123";

TEST(LineFormat, EveryLevelWithDefaultsAndWithMarks) {
  struct Case {
    TLogLevel level;
    const char* withName;
    const char* withMark;
  } cases[] = {
      {0, "07.12.2026 09:49:22.123 Текст", "- 07.12.2026 09:49:22.123 Текст"},
      {1, "07.12.2026 09:49:22.123 [инфо] Текст", "+ 07.12.2026 09:49:22.123 [инфо] Текст"},
      {2, "07.12.2026 09:49:22.123 [ошиб] Текст", "? 07.12.2026 09:49:22.123 [ошиб] Текст"},
      {3, "07.12.2026 09:49:22.123 [сбой] Текст", "! 07.12.2026 09:49:22.123 [сбой] Текст"},
      {4, "07.12.2026 09:49:22.123 [вним] Текст", "# 07.12.2026 09:49:22.123 [вним] Текст"},
      {5, "07.12.2026 09:49:22.123 [соб.] Текст", "$ 07.12.2026 09:49:22.123 [соб.] Текст"},
      {6, "07.12.2026 09:49:22.123 [отл.] Текст", "% 07.12.2026 09:49:22.123 [отл.] Текст"},
      {7, "07.12.2026 09:49:22.123 [друг] Текст", "@ 07.12.2026 09:49:22.123 [друг] Текст"},
  };
  TQLXLogger logger("");
  for (const Case& c : cases) {
    logger.ShowLevelMark = false;
    EXPECT_EQ(logger.FormatLine("Текст", c.level, 1, SampleTime()), c.withName);
    logger.ShowLevelMark = true;
    EXPECT_EQ(logger.FormatLine("Текст", c.level, 1, SampleTime()), c.withMark);
  }
}

TEST(LineFormat, HeaderPartsInOrder) {
  const std::string pid = std::to_string(platform::CurrentProcessId());
  struct Case {
    bool mark, name;
    const char* source;
    bool showPid, showTid;
    std::string expected;
  } cases[] = {
      {false, false, "", false, false, std::string(kStamp) + " x"},
      {false, true, "UMain", false, false, std::string(kStamp) + " [соб.] UMain x"},
      {true, true, "UMain", true, true, "$ " + std::string(kStamp) + " [соб.] UMain <P:" + pid + ";T:4242> x"},
      {false, false, "", true, false, std::string(kStamp) + " <P:" + pid + "> x"},
      {false, false, "", false, true, std::string(kStamp) + " <T:4242> x"},
      {true, false, "Src", false, true, "$ " + std::string(kStamp) + " Src <T:4242> x"},
  };
  for (const Case& c : cases) {
    TQLXLogger logger("");
    logger.ShowLevelMark = c.mark;
    logger.ShowLevelName = c.name;
    logger.SourceName = c.source;
    logger.ShowProcessId = c.showPid;
    logger.ShowThreadId = c.showTid;
    EXPECT_EQ(logger.FormatLine("x", llEvent, 4242, SampleTime()), c.expected);
  }
}

TEST(LineFormat, TextIsTrimmedOfControlsButKeepsInnerBreaks) {
  TQLXLogger logger("");
  EXPECT_EQ(logger.FormatLine(" \t\r\n \x01 ", llError, 1, SampleTime()), "");
  EXPECT_EQ(logger.FormatLine("", llPlain, 1, SampleTime()), "");
  EXPECT_EQ(logger.FormatLine("\r\n  a \r\n b\tc  \r\n", llPlain, 1, SampleTime()),
            std::string(kStamp) + " a \r\n b\tc");
  EXPECT_EQ(logger.FormatLine("100% done %s %d", llPlain, 1, SampleTime()),
            std::string(kStamp) + " 100% done %s %d");
}

TEST(LineFormat, StampPatternLetters) {
  struct Case {
    const char* pattern;
    const char* expected;
  } cases[] = {
      {"dd/mm/yyyy hh:nn:ss.zzz", "07.12.2026 09:49:22.123"},
      {"d/m/yy h:n:s.z", "7.12.26 9:49:22.123"},
      {"yyyy-mm-dd'T'hh:mm", "2026-12-07T09:49"},
      {"hh:nn", "09:49"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatDateTime(c.pattern, SampleTime(), LogFormatSettings), c.expected) << c.pattern;
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", EncodeDateTime(1999, 1, 2, 3, 4, 5, 6),
                           LogFormatSettings),
            "02.01.1999 03:04:05.006");
}

TEST(LineFormat, StampsReadBack) {
  struct Case {
    const char* text;
    bool ok;
    TDateTime expected;
  } cases[] = {
      {"07.12.2026 09:49:22.123", true, SampleTime()},
      {"07.12.2026", true, EncodeDateTime(2026, 12, 7, 0, 0, 0, 0)},
      {"09:49:22.123", true, EncodeDateTime(1899, 12, 30, 9, 49, 22, 123)},
      {"31.02.2026 09:49:22.123", false, 0},
      {"07.12.2026 24:00:00.000", false, 0},
      {"07.12.2026 09:49:22.12x", false, 0},
      {"Программа", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    TDateTime value = -1;
    EXPECT_EQ(TryStrToDateTime(c.text, value, LogFormatSettings), c.ok) << c.text;
    if (c.ok) {
      EXPECT_NEAR(value, c.expected, 1e-9) << c.text;
    }
  }
}

// A locale whose dates read differently; on Linux one made by localedef in the build tree.
bool SetForeignLocale() {
#ifdef QVN_TEST_LOCPATH
  setenv("LOCPATH", QVN_TEST_LOCPATH, 1);
#endif
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "ru_RU.UTF-8", "German_Germany.1252",
                           "Russian_Russia.1251", "English_United States.1252"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) return true;
  }
  return false;
}

TEST(LineFormat, StampDoesNotFollowTheRegionalSettings) {
  if (!SetForeignLocale()) GTEST_SKIP() << "no other locale on this machine";
  struct LocaleBack {
    ~LocaleBack() { std::setlocale(LC_ALL, "C"); }
  } back;
  // The locale does change the machine's own date text (the C locale writes 12/07/26)...
  std::tm parts{};
  parts.tm_year = 126;
  parts.tm_mon = 11;
  parts.tm_mday = 7;
  char regional[64];
  std::strftime(regional, sizeof regional, "%x", &parts);
  EXPECT_STRNE(regional, "12/07/26");
  // ...but not the log's stamp.
  TQLXLogger logger("");
  EXPECT_EQ(logger.FormatLine("x", llPlain, 1, SampleTime()), std::string(kStamp) + " x");
  TDateTime back_ = 0;
  ASSERT_TRUE(TryStrToDateTime(kStamp, back_, LogFormatSettings));
  EXPECT_NEAR(back_, SampleTime(), 1e-9);
}

TEST(LineFormat, FileBytesAreCp1251WithCrLfAfterEveryLine) {
  loggertest::TempDir dir;
  TQLXLogger logger(dir / "a.log");
  logger.ShowProcessId = true;
  logger.ShowThreadId = true;
  logger.WriteEntry("", llPlain, 7, SampleTime());
  logger.WriteEntry("Программа запущена", llPlain, 7, SampleTime());
  logger.WriteEntry("Создание резервной копии завершено", llEvent, 7, SampleTime());
  logger.WriteEntry("cmd\r\nвывод 1\r\nвывод 2", llError, 7, SampleTime());
  const std::string ids = " <P:" + std::to_string(platform::CurrentProcessId()) + ";T:7>";
  const std::string expected = platform::Utf8ToCp1251(
      "\r\n" +
      std::string(kStamp) + ids + " Программа запущена\r\n" +
      std::string(kStamp) + " [соб.]" + ids + " Создание резервной копии завершено\r\n" +
      std::string(kStamp) + " [ошиб]" + ids + " cmd\r\nвывод 1\r\nвывод 2\r\n");
  std::string bytes = loggertest::ReadBytes(dir / "a.log");
  EXPECT_EQ(bytes, expected);
  // No byte-order mark, and Cyrillic as single bytes ('П' is 0xCF in 1251).
  ASSERT_GE(bytes.size(), 30u);
  EXPECT_EQ(bytes.substr(0, 2), "\r\n");
  EXPECT_NE(bytes.find('\xCF'), std::string::npos);
}

TEST(LineFormat, ImmediateEntriesAreStampedNow) {
  loggertest::TempDir dir;
  TQLXLogger logger(dir / "now.log");
  TDateTime before = Now();
  logger.Log("x", llPlain, SampleTime());
  TDateTime after = Now();
  std::string bytes = loggertest::ReadBytes(dir / "now.log");
  ASSERT_GE(bytes.size(), 23u);
  TDateTime stamp = 0;
  ASSERT_TRUE(TryStrToDateTime(bytes.substr(0, 23), stamp, LogFormatSettings)) << bytes;
  const double ms = 1.0 / 86400000;
  EXPECT_GE(stamp, before - ms);
  EXPECT_LE(stamp, after + ms);
}

}  // namespace
