// How far the backup and the restore are, read from the server's verbose output
// lines as they arrive. The backup names each table as it writes its data and counts
// its records; the restore names each table as it reads it back. The backup's counts
// are the restore's total, so no statistics of the database are needed.
//
// The jobs hand every line to one process-wide observer, so a front end can follow
// them without the rebuild knowing who watches.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

enum class JobStage { Backup, Restore };

using JobOutputObserver = std::function<void(JobStage stage, const std::string& line)>;

// Installs the observer of the jobs' output lines (an empty one removes it). Set it
// before a rebuild starts and leave it while the rebuild runs.
void SetJobOutputObserver(JobOutputObserver observer);
// Called by the jobs for each output line, on the thread that reads the output. An
// observer's failure is never the job's: it is swallowed.
void NotifyJobOutput(JobStage stage, const std::string& line) noexcept;

// What the lines have told so far.
struct TJobProgressState {
  JobStage stage = JobStage::Backup;
  std::string table;           // the table whose data is being written or read now
  std::int64_t tableRecords = 0;
  int tablesDone = 0;          // backup: tables whose data is written
  int tablesTotal = 0;         //   of the tables the backup listed (0: not listed yet)
  std::int64_t recordsDone = 0;   // restore: records read back
  std::int64_t recordsTotal = 0;  //   of those the backup wrote
  bool dataDone = false;          // the stage's data part is over
  std::string index;              // restore: the index being built once the data is in
  int indexNumber = 0;            //   its place in the order the server builds them (from 1)
  int indexesTotal = 0;           //   of the indices the backup wrote
  std::optional<double> secondsLeft;  // restore: until its end, once it can be told

  // The stage's figures for a progress event: tables for the backup, records for the
  // restore. Never goes back within a stage; equal at its end.
  std::int64_t Done() const { return stage == JobStage::Backup ? tablesDone : recordsDone; }
  std::int64_t Total() const { return stage == JobStage::Backup ? tablesTotal : recordsTotal; }
};

namespace detail {
// What TJobProgress has gathered of one rebuild; reset as a whole.
struct TJobProgressFacts {
  using Clock = std::chrono::steady_clock;

  TJobProgressState state_;
  bool dataStarted_ = false;
  bool tableOpen_ = false;            // the counts that come are those of state_.table
  bool finished_ = false;             // the restore's closing line has come
  int listedTables_ = 0;              // backup: tables listed so far
  std::int64_t backupRecords_ = 0;    // sum of the backup's per-table counts
  std::int64_t restoredBefore_ = 0;   // records of the tables read back completely
  Clock::time_point dataStart_{};
  Clock::time_point lastCount_{};     // restore: of the last count of records

  // What the backup wrote of the indices: each one's table, and each table's records.
  std::vector<std::string> pendingIndexes_;  // listed before their table's data
  std::map<std::string, std::string> indexTable_;
  std::map<std::string, std::int64_t> tableRecords_;
  int backupIndexes_ = 0;
  double indexWorkTotal_ = 0;  // all the indices' work, in records read back

  // The restore's index part.
  double secondsPerRecord_ = 0;    // the data's pace, once the data is in
  double indexWorkDone_ = 0;       // of the indices finished
  double indexSecondsDone_ = 0;    //   and the time they took
  double currentIndexWork_ = 0;
  Clock::time_point indexStart_{};
  Clock::time_point finishTime_{};  // of the server's closing line
};
}  // namespace detail

// Follows one rebuild's lines (Firebird 3 and 4 gbak, with or without the "gbak:"
// mark, any indentation). Safe to read from another thread while lines arrive.
//
// The time left of the restore covers its two parts: reading the data back and
// building the indices. The data's pace is measured; an index costs about the same
// for each record of its table (the backup says which table each index belongs to
// and how many records it has): at first kIndexCostPerRecord of a record's reading,
// then the pace the finished indices took where that is slower. An index that runs
// longer than foreseen is taken to need half as long again as it has run so far.
class TJobProgress : private detail::TJobProgressFacts {
 public:
  using Clock = std::chrono::steady_clock;

  // Building an index, per record of its table, against reading a record back
  // (measured on the demo databases: 0.5 to 0.6 on Firebird 3, 0.4 on Firebird 4).
  static constexpr double kIndexCostPerRecord = 0.5;
  // What an index costs besides its records, in records read back.
  static constexpr double kIndexCostFixed = 2000;
  // After the server's restore the job checks the new file during a pause of at
  // least this long (RestoreDatabase), then swaps it in.
  static constexpr double kSecondsAfterServer = 1.0;
  // The time left is told once the data's pace has been measured this long ...
  static constexpr double kSecondsBeforeEstimate = 1.0;
  // ... over at least this share of the records.
  static constexpr double kShareBeforeEstimate = 0.05;

  void Take(JobStage stage, const std::string& line, Clock::time_point now = Clock::now());
  // What the lines have told, with the time left as of `now`.
  TJobProgressState State(Clock::time_point now = Clock::now()) const;
  // Forgets everything, for the next rebuild.
  void Reset();

  // The state as display rows (none before the data starts): the backup's two, the
  // restore's three, the last one the time left:
  //   Таблица FUEL_SALES: записано 20 000    Таблица FUEL_SALES: прочитано 15 000
  //   Сохранено таблиц: 2 из 6               Записи: 120 000 из 300 000 (40 %)
  //                                          Осталось времени: ~1 мин 20 с
  // and once the data is in:
  //   Создание индексов: 3 из 17 — FUEL_SALES_NOTE
  //   Записи: 300 000 из 300 000 (100 %)
  //   Осталось времени: ~45 с
  static std::vector<std::string> Describe(const TJobProgressState& state);

 private:
  void FinishTable();
  void FinishIndex(Clock::time_point now);
  double IndexWork(const std::string& index) const;
  std::optional<double> SecondsLeft(Clock::time_point now) const;

  mutable std::mutex mutex_;
};

// Feeds the jobs' output lines to `progress`, started afresh, while it lives; the
// observer goes on every way out.
class TJobProgressFeed {
 public:
  explicit TJobProgressFeed(TJobProgress& progress);
  ~TJobProgressFeed();
  TJobProgressFeed(const TJobProgressFeed&) = delete;
  TJobProgressFeed& operator=(const TJobProgressFeed&) = delete;
};

// "1 234 567": digits in groups of three.
std::string GroupDigits(std::int64_t value);
// "12 с", "1 мин 20 с", "2 ч 05 мин".
std::string ApproximateDuration(double seconds);
