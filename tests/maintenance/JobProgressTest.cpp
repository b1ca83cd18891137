// The progress read from the jobs' verbose lines, as Firebird 3 and 4 write them
// through the service manager (shortened transcripts of real runs).
#include <gtest/gtest.h>

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
    {JobStage::Backup, "gbak:    writing data for table FUEL_SALES"},
    {JobStage::Backup, "gbak:10000 records written"},
    {JobStage::Backup, "*"},
    {JobStage::Backup, "gbak:27000 records written"},
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
      if (std::string(line.text) == "*") {
        looks.push_back(TJobProgress::Describe(progress.State()));
        continue;
      }
      if (line.stage == JobStage::Restore && progress.State().stage == JobStage::Backup)
        backupEnd = progress.State();
      progress.Take(line.stage, line.text, start + std::chrono::seconds(seconds += 2));
    }
    TJobProgressState restoreEnd = progress.State();

    ASSERT_EQ(looks.size(), 2u);
    EXPECT_EQ(looks[0], (std::vector<std::string>{"Таблица FUEL_SALES: записано 10 000",
                                                  "Сохранено таблиц: 0 из 3"}));
    // 10 000 records of 27 003 two seconds into the data: 17 003 more take 3.4 s.
    EXPECT_EQ(looks[1], (std::vector<std::string>{"Таблица FUEL_SALES: прочитано 10 000",
                                                  "Записи: 10 000 из 27 003 (37 %), ещё ~3 с"}));
    EXPECT_EQ(backupEnd.Done(), 3);
    EXPECT_EQ(backupEnd.Total(), 3);
    EXPECT_EQ(restoreEnd.Done(), 27003);
    EXPECT_EQ(restoreEnd.Total(), 27003);
    EXPECT_FALSE(restoreEnd.secondsLeft);
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
