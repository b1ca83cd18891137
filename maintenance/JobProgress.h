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
  std::string index;           // restore: the index being built once the data is in
  int tablesDone = 0;          // backup: tables whose data is written
  int tablesTotal = 0;         //   of the tables the backup listed (0: not listed yet)
  std::int64_t recordsDone = 0;   // restore: records read back
  std::int64_t recordsTotal = 0;  //   of those the backup wrote
  bool dataDone = false;          // the stage's data part is over
  std::optional<double> secondsLeft;  // restore: estimate for the rest of the data

  // The stage's figures for a progress event: tables for the backup, records for the
  // restore. Never goes back within a stage; equal at its end.
  std::int64_t Done() const { return stage == JobStage::Backup ? tablesDone : recordsDone; }
  std::int64_t Total() const { return stage == JobStage::Backup ? tablesTotal : recordsTotal; }
};

// Follows one rebuild's lines (Firebird 3 and 4 gbak, with or without the "gbak:"
// mark, any indentation). Safe to read from another thread while lines arrive.
class TJobProgress {
 public:
  using Clock = std::chrono::steady_clock;

  void Take(JobStage stage, const std::string& line, Clock::time_point now = Clock::now());
  TJobProgressState State() const;

  // The state as display rows (none before the data starts):
  //   Таблица FUEL_SALES: записано 20 000        Таблица FUEL_SALES: прочитано 15 000
  //   Сохранено таблиц: 2 из 6                   Записи: 120 000 из 300 000 (40 %), ещё ~1 мин 20 с
  static std::vector<std::string> Describe(const TJobProgressState& state);

 private:
  void FinishTable();

  mutable std::mutex mutex_;
  TJobProgressState state_;
  bool dataStarted_ = false;
  int listedTables_ = 0;              // backup: tables listed so far
  std::int64_t backupRecords_ = 0;    // sum of the backup's per-table counts
  std::int64_t restoredBefore_ = 0;   // records of the tables read back completely
  Clock::time_point dataStart_{};
};

// "1 234 567": digits in groups of three.
std::string GroupDigits(std::int64_t value);
// "12 с", "1 мин 20 с", "2 ч 05 мин".
std::string ApproximateDuration(double seconds);
