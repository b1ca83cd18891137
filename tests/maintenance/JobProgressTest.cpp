// The progress read from the jobs' verbose lines, as Firebird 3 and 4 write them
// through the service manager (shortened transcripts of real runs).
#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "maintenance/JobProgress.h"

namespace {

using Clock = TJobProgress::Clock;

// A transcript: the stage and the line; "*" marks the point where the state is looked at.
struct Line {
  JobStage stage;
  const char* text;
};

const Line kFirebird3[] = {
    {JobStage::Backup, "gbak:readied database /db/ZARVO.FDB for backup"},
    {JobStage::Backup, "gbak:writing tables"},
    {JobStage::Backup, "gbak:    writing table STATIONS"},
    {JobStage::Backup, "gbak:       writing column NAME"},
    {JobStage::Backup, "gbak:    writing table FUEL_SALES"},
    {JobStage::Backup, "gbak:    writing table TMP_SESSION"},  // temporary: no data follows
    {JobStage::Backup, "gbak:    writing view SHIFT_SUMMARY"},
    {JobStage::Backup, "gbak:writing id generators"},
    {JobStage::Backup, "gbak:    writing index RDB$PRIMARY7"},
    {JobStage::Backup, "gbak:    writing data for table FUEL_SALES"},
    {JobStage::Backup, "gbak:10000 records written"},
    {JobStage::Backup, "*"},
    {JobStage::Backup, "gbak:27000 records written"},
    {JobStage::Backup, "gbak:    writing index STATIONS_NAME"},
    {JobStage::Backup, "gbak:    writing data for table STATIONS"},
    {JobStage::Backup, "gbak:3 records written"},
    {JobStage::Backup, "gbak:writing triggers"},
    {JobStage::Backup, "gbak:writing table constraints"},
    {JobStage::Backup, "gbak:closing file, committing, and finishing. 1989632 bytes written"},
    {JobStage::Restore, "gbak:opened file /db/ZARVO.qvnbasebackup "},
    {JobStage::Restore, "gbak:backup version is 10 "},
    {JobStage::Restore, "gbak:restoring table FUEL_SALES "},
    {JobStage::Restore, "gbak:    restoring index RDB$PRIMARY7 "},
    {JobStage::Restore, "gbak:restoring data for table FUEL_SALES "},
    {JobStage::Restore, "gbak:   10000 records restored "},
    {JobStage::Restore, "*"},
    {JobStage::Restore, "gbak:   27000 records restored "},
    {JobStage::Restore, "gbak:restoring data for table STATIONS "},
    {JobStage::Restore, "gbak:   3 records restored "},
    {JobStage::Restore, "gbak:creating indexes "},
    {JobStage::Restore, "gbak:    activating and creating deferred index RDB$PRIMARY7 "},
    {JobStage::Restore, "gbak:finishing, closing, and going home "},
};

// Firebird 4 adds lines of its own and gives the restore's lines without the blank.
const Line kFirebird4[] = {
    {JobStage::Backup, "gbak:writing tables"},
    {JobStage::Backup, "gbak:    writing table STATIONS"},
    {JobStage::Backup, "gbak:    writing table FUEL_SALES"},
    {JobStage::Backup, "gbak:    writing table TMP_SESSION"},
    {JobStage::Backup, "gbak:writing publications"},
    {JobStage::Backup, "gbak:    writing index RDB$PRIMARY7"},
    {JobStage::Backup, "gbak:    writing data for table FUEL_SALES"},
    {JobStage::Backup, "gbak:10000 records written"},
    {JobStage::Backup, "*"},
    {JobStage::Backup, "gbak:27000 records written"},
    {JobStage::Backup, "gbak:    writing index STATIONS_NAME"},
    {JobStage::Backup, "gbak:    writing data for table STATIONS"},
    {JobStage::Backup, "gbak:3 records written"},
    {JobStage::Backup, "gbak:writing publication tables"},
    {JobStage::Backup, "gbak:closing file, committing, and finishing. 2113536 bytes written"},
    {JobStage::Restore, "gbak:backup version is 11"},
    {JobStage::Restore, "gbak:restoring data for table FUEL_SALES"},
    {JobStage::Restore, "gbak:   10000 records restored"},
    {JobStage::Restore, "*"},
    {JobStage::Restore, "gbak:   27000 records restored"},
    {JobStage::Restore, "gbak:restoring data for table STATIONS"},
    {JobStage::Restore, "gbak:   3 records restored"},
    {JobStage::Restore, "gbak:creating indexes"},
    {JobStage::Restore, "gbak:adjusting views dbkey length"},
    {JobStage::Restore, "gbak:finishing, closing, and going home"},
};

// The rows at the two looks and the figures at each stage's end, the same for both
// servers: three tables listed (one without data), 27 003 records.
TEST(JobProgress, FollowsTheBackupAndTheRestoreOfBothServers) {
  for (const auto& transcript : {std::vector<Line>(std::begin(kFirebird3), std::end(kFirebird3)),
                                 std::vector<Line>(std::begin(kFirebird4), std::end(kFirebird4))}) {
    TJobProgress progress;
    Clock::time_point start{};
    std::vector<std::vector<std::string>> looks;
    TJobProgressState backupEnd;
    int seconds = 0;
    for (const Line& line : transcript) {
      Clock::time_point now = start + std::chrono::seconds(seconds);
      if (std::string(line.text) == "*") {
        looks.push_back(TJobProgress::Describe(progress.State(now)));
        continue;
      }
      if (line.stage == JobStage::Restore && progress.State(now).stage == JobStage::Backup)
        backupEnd = progress.State(now);
      progress.Take(line.stage, line.text, start + std::chrono::seconds(seconds += 2));
    }
    TJobProgressState restoreEnd = progress.State(start + std::chrono::seconds(seconds + 2));

    ASSERT_EQ(looks.size(), 2u);
    EXPECT_EQ(looks[0], (std::vector<std::string>{"Таблица FUEL_SALES: записано 10 000",
                                                  "Сохранено таблиц: 0 из 3"}));
    // 10 000 records of 27 003 two seconds into the data: 17 003 more take 3.4 s; the
    // two indices (of 27 000 and 3 records, each with its fixed 2 000, at half a
    // record's reading) 3.1 s; the job's pause 1 s.
    EXPECT_EQ(looks[1], (std::vector<std::string>{"Таблица FUEL_SALES: прочитано 10 000",
                                                  "Записи: 10 000 из 27 003 (37 %)",
                                                  "Осталось времени: ~8 с"}));
    EXPECT_EQ(backupEnd.Done(), 3);
    EXPECT_EQ(backupEnd.Total(), 3);
    EXPECT_EQ(restoreEnd.Done(), 27003);
    EXPECT_EQ(restoreEnd.Total(), 27003);
    EXPECT_EQ(restoreEnd.secondsLeft, 0.0);  // the job's pause is over
  }
}

// A rebuild's lines with the moment each came, in milliseconds from the restore's
// start (the backup's are all at 0): the demo database (scripts/make-demo-db.sh,
// 300 000 sale rows, 270 000 left after its churn) on each server, recorded through
// the service manager and shortened to three of its tables and their nine indices.
struct TimedLine {
  JobStage stage;
  int ms;
  const char* text;
};

// The backup's lines, the same on both servers but for Firebird 4's publications.
const TimedLine kDemoBackup[] = {
    {JobStage::Backup, 0, "gbak:writing tables"},
    {JobStage::Backup, 0, "gbak:    writing table STATIONS"},
    {JobStage::Backup, 0, "gbak:    writing table FUEL_SALES"},
    {JobStage::Backup, 0, "gbak:    writing table SHIFT_TOTALS"},
    {JobStage::Backup, 0, "gbak:    writing index RDB$PRIMARY12"},
    {JobStage::Backup, 0, "gbak:    writing index RDB$FOREIGN13"},
    {JobStage::Backup, 0, "gbak:    writing data for table SHIFT_TOTALS"},
    {JobStage::Backup, 0, "gbak:2000 records written"},
    {JobStage::Backup, 0, "gbak:    writing index RDB$PRIMARY9"},
    {JobStage::Backup, 0, "gbak:    writing index RDB$FOREIGN10"},
    {JobStage::Backup, 0, "gbak:    writing index RDB$FOREIGN11"},
    {JobStage::Backup, 0, "gbak:    writing index FUEL_SALES_SOLD_AT"},
    {JobStage::Backup, 0, "gbak:    writing index FUEL_SALES_NOTE"},
    {JobStage::Backup, 0, "gbak:    writing data for table FUEL_SALES"},
    {JobStage::Backup, 0, "gbak:100000 records written"},
    {JobStage::Backup, 0, "gbak:200000 records written"},
    {JobStage::Backup, 0, "gbak:270000 records written"},
    {JobStage::Backup, 0, "gbak:    writing index RDB$PRIMARY1"},
    {JobStage::Backup, 0, "gbak:    writing index STATIONS_NAME"},
    {JobStage::Backup, 0, "gbak:    writing data for table STATIONS"},
    {JobStage::Backup, 0, "gbak:3 records written"},
};
const TimedLine kDemoBackupClosed = {
    JobStage::Backup, 0, "gbak:closing file, committing, and finishing. 15822848 bytes written"};
const TimedLine kFirebird3Restore[] = {
    {JobStage::Restore, 7, "gbak:backup version is 10 "},
    {JobStage::Restore, 121, "gbak:restoring data for table SHIFT_TOTALS "},
    {JobStage::Restore, 124, "gbak:   2000 records restored "},
    {JobStage::Restore, 125, "gbak:restoring data for table FUEL_SALES "},
    {JobStage::Restore, 469, "gbak:   100000 records restored "},
    {JobStage::Restore, 988, "gbak:   200000 records restored "},
    {JobStage::Restore, 1176, "gbak:   270000 records restored "},
    {JobStage::Restore, 1183, "gbak:restoring data for table STATIONS "},
    {JobStage::Restore, 1183, "gbak:   3 records restored "},
    {JobStage::Restore, 1261, "gbak:creating indexes "},
    {JobStage::Restore, 1293, "gbak:    activating and creating deferred index RDB$PRIMARY12 "},
    {JobStage::Restore, 1299, "gbak:    activating and creating deferred index RDB$PRIMARY9 "},
    {JobStage::Restore, 1514, "gbak:    activating and creating deferred index FUEL_SALES_SOLD_AT "},
    {JobStage::Restore, 1714, "gbak:    activating and creating deferred index FUEL_SALES_NOTE "},
    {JobStage::Restore, 2306, "gbak:    activating and creating deferred index RDB$PRIMARY1 "},
    {JobStage::Restore, 2306, "gbak:    activating and creating deferred index STATIONS_NAME "},
    {JobStage::Restore, 2314, "gbak:    activating and creating deferred index RDB$FOREIGN10 "},
    {JobStage::Restore, 3376, "gbak:    activating and creating deferred index RDB$FOREIGN11 "},
    {JobStage::Restore, 4045, "gbak:    activating and creating deferred index RDB$FOREIGN13 "},
    {JobStage::Restore, 4060, "gbak:finishing, closing, and going home "},
};
const TimedLine kFirebird4Restore[] = {
    {JobStage::Restore, 68, "gbak:backup version is 11 "},
    {JobStage::Restore, 307, "gbak:restoring data for table SHIFT_TOTALS "},
    {JobStage::Restore, 313, "gbak:   2000 records restored "},
    {JobStage::Restore, 314, "gbak:restoring data for table FUEL_SALES "},
    {JobStage::Restore, 785, "gbak:   100000 records restored "},
    {JobStage::Restore, 1243, "gbak:   200000 records restored "},
    {JobStage::Restore, 1594, "gbak:   270000 records restored "},
    {JobStage::Restore, 1613, "gbak:restoring data for table STATIONS "},
    {JobStage::Restore, 1613, "gbak:   3 records restored "},
    {JobStage::Restore, 1646, "gbak:creating indexes "},
    {JobStage::Restore, 1676, "gbak:    activating and creating deferred index RDB$PRIMARY12 "},
    {JobStage::Restore, 1678, "gbak:    activating and creating deferred index RDB$PRIMARY9 "},
    {JobStage::Restore, 1827, "gbak:    activating and creating deferred index FUEL_SALES_SOLD_AT "},
    {JobStage::Restore, 1998, "gbak:    activating and creating deferred index FUEL_SALES_NOTE "},
    {JobStage::Restore, 2619, "gbak:    activating and creating deferred index RDB$PRIMARY1 "},
    {JobStage::Restore, 2622, "gbak:    activating and creating deferred index STATIONS_NAME "},
    {JobStage::Restore, 2626, "gbak:    activating and creating deferred index RDB$FOREIGN10 "},
    {JobStage::Restore, 3353, "gbak:    activating and creating deferred index RDB$FOREIGN11 "},
    {JobStage::Restore, 4115, "gbak:    activating and creating deferred index RDB$FOREIGN13 "},
    {JobStage::Restore, 4122, "gbak:adjusting views dbkey length "},
    {JobStage::Restore, 4139, "gbak:finishing, closing, and going home "},
};

// A whole rebuild's lines: the backup's, then the restore's.
template <std::size_t N>
std::vector<TimedLine> DemoRebuild(bool publications, const TimedLine (&restore)[N]) {
  std::vector<TimedLine> lines(std::begin(kDemoBackup), std::end(kDemoBackup));
  if (publications) lines.push_back({JobStage::Backup, 0, "gbak:writing publications"});
  lines.push_back(kDemoBackupClosed);
  lines.insert(lines.end(), std::begin(restore), std::end(restore));
  return lines;
}

// A look at the display at a moment of the restore.
struct Look {
  int ms;
  std::vector<std::string> rows;
};

// The rows of the data part and of the index part, and a time left that stays within
// half and twice of what really remained: up to the server's end and the job's
// pause of one second after it.
TEST(JobProgress, TellsTheIndicesAndATimeLeftThatHoldsOnRecordedRestores) {
  struct Case {
    const char* server;
    std::vector<TimedLine> lines;
    std::vector<Look> looks;
  };
  const std::string all = "Записи: 272 003 из 272 003 (100 %)";
  const std::vector<Case> cases = {
      {"Firebird 3",
       DemoRebuild(false, kFirebird3Restore),
       {{700, {"Таблица FUEL_SALES: прочитано 100 000", "Записи: 102 000 из 272 003 (37 %)",
               "Осталось времени: оценивается"}},
        {1270, {"Создание индексов: 0 из 9", all, "Осталось времени: ~4 с"}},
        {2000, {"Создание индексов: 4 из 9 — FUEL_SALES_NOTE", all, "Осталось времени: ~2 с"}},
        // The foreign key has run longer than foreseen.
        {3000, {"Создание индексов: 7 из 9 — RDB$FOREIGN10", all, "Осталось времени: ~2 с"}},
        {3800, {"Создание индексов: 8 из 9 — RDB$FOREIGN11", all, "Осталось времени: ~1 с"}},
        // The server is done; the job's pause runs.
        {4500, {"Создание индексов: 9 из 9 — RDB$FOREIGN13", all, "Осталось времени: ~1 с"}}}},
      {"Firebird 4",
       DemoRebuild(true, kFirebird4Restore),
       {{1500, {"Таблица FUEL_SALES: прочитано 200 000", "Записи: 202 000 из 272 003 (74 %)",
                "Осталось времени: оценивается"}},
        {1650, {"Создание индексов: 0 из 9", all, "Осталось времени: ~4 с"}},
        {2300, {"Создание индексов: 4 из 9 — FUEL_SALES_NOTE", all, "Осталось времени: ~3 с"}},
        {3000, {"Создание индексов: 7 из 9 — RDB$FOREIGN10", all, "Осталось времени: ~2 с"}},
        {3800, {"Создание индексов: 8 из 9 — RDB$FOREIGN11", all, "Осталось времени: ~1 с"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    TJobProgress progress;
    const Clock::time_point start{};
    auto at = [&](int ms) { return start + std::chrono::milliseconds(ms); };
    const int end = c.lines.back().ms + 1000;
    std::size_t next = 0;
    for (const Look& look : c.looks) {
      for (; next < c.lines.size() && c.lines[next].ms <= look.ms; ++next)
        progress.Take(c.lines[next].stage, c.lines[next].text, at(c.lines[next].ms));
      TJobProgressState state = progress.State(at(look.ms));
      EXPECT_EQ(TJobProgress::Describe(state), look.rows) << "at " << look.ms << " ms";
      if (state.secondsLeft) {
        double remained = (end - look.ms) / 1000.0;
        EXPECT_GE(*state.secondsLeft, remained / 2) << "at " << look.ms << " ms";
        EXPECT_LE(*state.secondsLeft, remained * 2) << "at " << look.ms << " ms";
      }
    }
  }
}

TEST(JobProgress, NumbersAndDurationsReadAsWords) {
  const std::pair<double, const char*> durations[] = {
      {0.4, "0 с"}, {59.4, "59 с"}, {80, "1 мин 20 с"}, {3599, "59 мин 59 с"}, {7500, "2 ч 05 мин"}};
  for (const auto& [seconds, text] : durations) EXPECT_EQ(ApproximateDuration(seconds), text);
  const std::pair<std::int64_t, const char*> numbers[] = {
      {0, "0"}, {999, "999"}, {1000, "1 000"}, {904023, "904 023"}, {12345678, "12 345 678"}};
  for (const auto& [value, text] : numbers) EXPECT_EQ(GroupDigits(value), text);
}

}  // namespace
