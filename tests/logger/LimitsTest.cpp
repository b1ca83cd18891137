#include <gtest/gtest.h>

#include <algorithm>

#include "LoggerTestSupport.h"
#include "platform/Files.h"

using loggertest::ReadBytes;
using loggertest::SampleTime;
using loggertest::TempDir;
using loggertest::WriteBytes;

namespace {

// A written entry of `text` at the sample time: 24 + text + 2 bytes.
std::string EntryOf(const std::string& text) { return "07.12.2026 09:49:22.123 " + text + "\r\n"; }

std::string Lines(int count, int first = 0) {
  std::string bytes;
  for (int i = first; i < first + count; ++i) bytes += "line " + std::to_string(i) + " abcdefghij\r\n";
  return bytes;
}

TEST(SizeLimit, RotatesOnlyAboveMaxSizePlusAThird) {
  for (int extra : {0, 1}) {
    TempDir dir;
    TQLXLogger logger(dir / "r.log");
    logger.MaxSize = 300;  // threshold 400
    const std::string entry = EntryOf(std::string(24, 'x'));
    ASSERT_EQ(entry.size(), 50u);
    WriteBytes(dir / "r.log", std::string(350 + extra, 'a'));
    logger.WriteEntry(std::string(24, 'x'), llPlain, 1, SampleTime());
    if (extra == 0) {
      EXPECT_EQ(platform::FileSizeOf(dir / "r.log").value_or(-1), 400);
      EXPECT_FALSE(platform::FileExists(dir / "r.log000"));
    } else {
      EXPECT_FALSE(platform::FileExists(dir / "r.log"));
      EXPECT_EQ(ReadBytes(dir / "r.log000"), std::string(351, 'a') + entry);
    }
  }
}

TEST(SizeLimit, DefaultThresholdIs1398101Bytes) {
  TempDir dir;
  TQLXLogger logger(dir / "big.log");
  const std::string entry = EntryOf("x");
  WriteBytes(dir / "big.log", std::string(1398101 - entry.size(), 'a'));
  logger.WriteEntry("x", llPlain, 1, SampleTime());
  EXPECT_EQ(platform::FileSizeOf(dir / "big.log").value_or(-1), 1398101);
  logger.WriteEntry("", llPlain, 1, SampleTime());  // two more bytes
  EXPECT_FALSE(platform::FileExists(dir / "big.log"));
  EXPECT_EQ(platform::FileSizeOf(dir / "big.log000").value_or(-1), 1398103);
}

TEST(SizeLimit, InPlaceCutKeepsWholeLinesFromTheCutPosition) {
  TempDir dir;
  TQLXLogger logger(dir / "cut.log");
  logger.MaxSize = 1000;  // cut above 1333 bytes
  logger.TruncateInPlace = true;
  std::string before = Lines(80);
  while (before.size() + EntryOf("new").size() > 1333) before.erase(before.rfind("line"));
  WriteBytes(dir / "cut.log", before);
  logger.WriteEntry("new", llPlain, 1, SampleTime());
  std::string atThreshold = before + EntryOf("new");
  ASSERT_LE(atThreshold.size(), 1333u);
  EXPECT_EQ(ReadBytes(dir / "cut.log"), atThreshold);  // not over the limit: untouched

  for (int round = 0; round < 5; ++round) {
    std::string full = ReadBytes(dir / "cut.log") + EntryOf("more " + std::to_string(round));
    logger.WriteEntry("more " + std::to_string(round), llPlain, 1, SampleTime());
    std::string expected = full;
    if (full.size() > 1333) {
      std::size_t cut = full.size() - 1000;
      std::size_t lineStart = full.find_last_of("\r\n", cut - 1) + 1;
      expected = full.substr(lineStart);
    }
    std::string after = ReadBytes(dir / "cut.log");
    EXPECT_EQ(after, expected) << "round " << round;
    EXPECT_FALSE(platform::FileExists(dir / "cut.log000"));
  }
  // No temporary file is left beside the log.
  EXPECT_EQ(platform::ListDirectory(dir.Path(), "cut.log_").size(), 0u);
}

TEST(SizeLimit, InPlaceCutWithoutLineBreaksKeepsExactlyMaxSize) {
  TempDir dir;
  TQLXLogger logger(dir / "flat.log");
  logger.MaxSize = 1000;
  logger.TruncateInPlace = true;
  WriteBytes(dir / "flat.log", std::string(1400, 'a'));
  logger.WriteEntry("tail", llPlain, 1, SampleTime());
  std::string full = std::string(1400, 'a') + EntryOf("tail");
  EXPECT_EQ(ReadBytes(dir / "flat.log"), full.substr(full.size() - 1000));
}

TEST(Archives, ShiftKeepsArchiveCountAndDropsTheOldest) {
  TempDir dir;
  TQLXLogger logger(dir / "s.log");
  logger.MaxSize = 100;
  WriteBytes(dir / "s.log000", "zero");
  WriteBytes(dir / "s.log001", "one");
  WriteBytes(dir / "s.log002", "two");
  WriteBytes(dir / "s.log", std::string(200, 'L'));
  logger.WriteEntry("x", llPlain, 1, SampleTime());
  EXPECT_FALSE(platform::FileExists(dir / "s.log"));
  EXPECT_EQ(ReadBytes(dir / "s.log000"), std::string(200, 'L') + EntryOf("x"));
  EXPECT_EQ(ReadBytes(dir / "s.log001"), "zero");
  EXPECT_EQ(ReadBytes(dir / "s.log002"), "one");
  EXPECT_FALSE(platform::FileExists(dir / "s.log003"));
  // The next write starts a new log.
  logger.WriteEntry("y", llPlain, 1, SampleTime());
  EXPECT_EQ(ReadBytes(dir / "s.log"), EntryOf("y"));
}

TEST(Archives, OnlyNumberedNamesAreArchives) {
  TempDir dir;
  TQLXLogger logger(dir / "c.log");
  for (const char* name : {"c.log", "c.log000", "c.log.5", "c.log_123_456", "c.log.bak",
                           "c.log001x", "c.log-1", "c.logs", "c.log."})
    WriteBytes(dir / name, "x");
  ASSERT_TRUE(platform::CreateDirectories(dir / "c.log007"));  // a directory is no archive
  std::vector<std::string> list;
  logger.CollectArchives(list);
  EXPECT_EQ(list, (std::vector<std::string>{dir / "c.log000", dir / "c.log.5"}));
  platform::RemoveEmptyDirectory(dir / "c.log007");
}

TEST(Archives, DotStyleSortsTenAfterNine) {
  TempDir dir;
  TQLXLogger logger(dir / "d.log");
  logger.ArchiveNumberStyle = 1;
  logger.ArchiveCount = 20;
  logger.MaxSize = 10;
  std::vector<std::string> expected;
  for (int i : {10, 2, 9, 0, 1, 3, 4, 5, 6, 7, 8}) WriteBytes(dir / ("d.log." + std::to_string(i)), std::to_string(i));
  for (int i = 0; i <= 10; ++i) expected.push_back(dir / ("d.log." + std::to_string(i)));
  std::vector<std::string> list;
  logger.CollectArchives(list);
  EXPECT_EQ(list, expected);
  EXPECT_EQ(logger.ArchiveName(3), dir / "d.log.3");
  logger.WriteEntry("rotate me", llPlain, 1, SampleTime());
  EXPECT_EQ(ReadBytes(dir / "d.log.0"), EntryOf("rotate me"));
  EXPECT_EQ(ReadBytes(dir / "d.log.1"), "0");
  EXPECT_EQ(ReadBytes(dir / "d.log.11"), "10");
}

TEST(Archives, LogWithoutExtensionRotatesToo) {
  TempDir dir;
  TQLXLogger logger(dir / "plainlog");
  logger.MaxSize = 60;
  for (int i = 0; i < 10; ++i) logger.WriteEntry("entry " + std::to_string(i), llPlain, 1, SampleTime());
  EXPECT_TRUE(platform::FileExists(dir / "plainlog000"));
  EXPECT_TRUE(platform::FileExists(dir / "plainlog002"));
  EXPECT_FALSE(platform::FileExists(dir / "plainlog003"));
  EXPECT_EQ(ReadBytes(dir / "plainlog000").find("entry 9"), std::string::npos);
}

// ---- age limit ----

std::string StampedLines(int count, double ageDays, const std::string& tag) {
  std::string bytes;
  std::string stamp = FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", Now() - ageDays, LogFormatSettings);
  for (int i = 0; i < count; ++i) bytes += stamp + " " + tag + " " + std::to_string(i) + " ..........\r\n";
  return bytes;
}

// Old lines up to exactly `size` bytes: the last one is stretched to fit.
std::string OldHeadOfSize(std::size_t size) {
  std::string head = StampedLines(700, 20, "old");
  std::string stamp = head.substr(0, 23);
  head += stamp + " " + std::string(size - head.size() - 26, 'x') + "\r\n";
  return head;
}

struct AgeCase {
  const char* name;
  std::string head, tail;
  bool inPlace;
  bool newEntryOld;  // the entry just written is old too
  enum { kUntouched, kTailKept, kOnlyNewKept, kEmptied, kRotated } outcome;
};

TEST(AgeLimit, Cases) {
  const std::string oldHead = StampedLines(300, 20, "old");
  const std::string youngTail = StampedLines(900, 1, "young");
  const AgeCase cases[] = {
      {"old head, young tail, in place", oldHead, youngTail, true, false, AgeCase::kTailKept},
      {"first read entry 12 of 10 days old", StampedLines(300, 12, "old"),
       StampedLines(900, 12, "young"), true, false, AgeCase::kUntouched},
      {"first read entry young", StampedLines(300, 1, "old"), StampedLines(900, 20, "young"), true,
       false, AgeCase::kUntouched},
      // Young entries in the last 32 KiB alone, the one just written among them, stay.
      {"old file, only the new entry young", oldHead, StampedLines(900, 20, "young"), true, false,
       AgeCase::kOnlyNewKept},
      {"old head, young entries only in the last block", StampedLines(1200, 20, "old"),
       StampedLines(100, 1, "young"), true, false, AgeCase::kTailKept},
      // The first young entry begins where one read block ends.
      {"first young entry at a block's edge", OldHeadOfSize(32768 - 10), youngTail, true, false,
       AgeCase::kTailKept},
      {"all old, the new entry too, in place", oldHead, StampedLines(900, 20, "young"), true, true,
       AgeCase::kEmptied},
      {"all old, rotation", oldHead, StampedLines(900, 20, "young"), false, false,
       AgeCase::kRotated},
      {"old head, young tail, rotation", oldHead, youngTail, false, false, AgeCase::kRotated},
  };
  for (const AgeCase& c : cases) {
    TempDir dir;
    TQLXLogger logger(dir / "age.log");
    logger.MaxSize = 0;
    logger.MaxAge = 10;
    logger.TruncateInPlace = c.inPlace;
    WriteBytes(dir / "age.log", c.head + c.tail);
    ASSERT_GT(c.head.size() + c.tail.size(), 40000u);
    TDateTime when = c.newEntryOld ? Now() - 20 : SampleTime();
    std::string entry = FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", when, LogFormatSettings) + " new\r\n";
    logger.WriteEntry("new", llPlain, 1, when);
    std::string all = c.head + c.tail + entry;
    std::string after = ReadBytes(dir / "age.log");
    if (c.outcome == AgeCase::kRotated) {
      EXPECT_FALSE(platform::FileExists(dir / "age.log")) << c.name;
      after = ReadBytes(dir / "age.log000");
    }
    const std::string expected = c.outcome == AgeCase::kTailKept    ? c.tail + entry
                                 : c.outcome == AgeCase::kOnlyNewKept ? entry
                                 : c.outcome == AgeCase::kEmptied     ? std::string()
                                                                      : all;
    EXPECT_TRUE(after == expected) << c.name << ": " << after.size() << " bytes kept, not "
                                   << expected.size();
    EXPECT_GT(logger.LastAgeCheck, Now() - 1.0 / 24) << c.name;
  }
}

TEST(AgeLimit, SmallFilesAndRecentChecksAreLeftAlone) {
  TempDir dir;
  TQLXLogger logger(dir / "small.log");
  logger.MaxSize = 0;
  logger.MaxAge = 10;
  logger.TruncateInPlace = true;
  std::string small = StampedLines(700, 20, "old");
  ASSERT_LE(small.size() + EntryOf("x").size(), 32768u);
  ASSERT_GT(small.size(), 20000u);
  WriteBytes(dir / "small.log", small);
  logger.WriteEntry("x", llPlain, 1, SampleTime());
  EXPECT_EQ(ReadBytes(dir / "small.log"), small + EntryOf("x"));
  EXPECT_EQ(logger.LastAgeCheck, 0);

  // A check ran a moment ago: none again within the minute.
  std::string big = StampedLines(1200, 20, "old");
  WriteBytes(dir / "small.log", big);
  logger.LastAgeCheck = Now() - 30.0 / 86400;
  logger.WriteEntry("y", llPlain, 1, SampleTime());
  EXPECT_EQ(ReadBytes(dir / "small.log"), big + EntryOf("y"));
  logger.LastAgeCheck = Now() - 61.0 / 86400;
  logger.WriteEntry("z", llPlain, 1, SampleTime());
  EXPECT_EQ(ReadBytes(dir / "small.log"), EntryOf("y") + EntryOf("z"));  // young entries stay
}

TEST(AgeLimit, MarkedLinesAndTimeOnlyStampsAreRead) {
  TempDir dir;
  TQLXLogger logger(dir / "marks.log");
  logger.MaxSize = 0;
  logger.MaxAge = 10;
  logger.TruncateInPlace = true;
  logger.ShowLevelMark = true;
  // Old entries carry a mark; the young ones have a time without a date (today).
  std::string old = FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", Now() - 20, LogFormatSettings);
  std::string head, tail;
  for (int i = 0; i < 400; ++i) head += "$ " + old + " [соб.] old\r\n";
  for (int i = 0; i < 900; ++i) tail += "00:00:00.000" + std::string(11, ' ') + " today, young\r\n";
  WriteBytes(dir / "marks.log", head + tail);
  logger.WriteEntry("new", llPlain, 1, SampleTime());
  EXPECT_EQ(ReadBytes(dir / "marks.log"), tail + "- " + EntryOf("new"));
}

}  // namespace
