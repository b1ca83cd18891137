#include "maintenance/JobProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

JobOutputObserver& Observer() {
  static JobOutputObserver observer;
  return observer;
}

bool StartsWith(const std::string& text, const char* head) {
  return text.rfind(head, 0) == 0;
}

// A line without the tool's mark and the blanks around it: the service gives the
// restore's lines a trailing blank, and indents the details of a section.
std::string Bare(const std::string& line) {
  std::size_t start = StartsWith(line, "gbak:") ? 5 : 0;
  const char* blanks = " \t\r\n";
  start = line.find_first_not_of(blanks, start);
  if (start == std::string::npos) return std::string();
  return line.substr(start, line.find_last_not_of(blanks) + 1 - start);
}

// "27000 records written" with tail "records written" -> 27000.
std::optional<std::int64_t> Count(const std::string& line, const std::string& tail) {
  std::size_t digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  if (digits == 0 || digits > 18 || line.compare(digits, std::string::npos, " " + tail) != 0)
    return std::nullopt;
  return std::strtoll(line.substr(0, digits).c_str(), nullptr, 10);
}

std::string After(const std::string& line, const char* head) {
  return line.substr(std::char_traits<char>::length(head));
}

constexpr char kBackupData[] = "writing data for table ";
constexpr char kRestoreData[] = "restoring data for table ";
constexpr char kBackupIndex[] = "writing index ";
constexpr char kDeferredIndex[] = "activating and creating deferred index ";

}  // namespace

void SetJobOutputObserver(JobOutputObserver observer) { Observer() = std::move(observer); }

void NotifyJobOutput(JobStage stage, const std::string& line) noexcept {
  try {
    if (Observer()) Observer()(stage, line);
  } catch (...) {
    // Showing the progress must never stop the work.
  }
}

void TJobProgress::FinishTable() {
  if (!tableOpen_) return;
  tableOpen_ = false;
  if (state_.stage == JobStage::Backup) {
    backupRecords_ += state_.tableRecords;
    tableRecords_[state_.table] = state_.tableRecords;
    ++state_.tablesDone;
  } else {
    restoredBefore_ += state_.tableRecords;
  }
}

double TJobProgress::IndexWork(const std::string& index) const {
  double work = kIndexCostFixed;
  auto table = indexTable_.find(index);
  if (table != indexTable_.end()) {
    auto records = tableRecords_.find(table->second);
    if (records != tableRecords_.end()) work += static_cast<double>(records->second);
  }
  return work;
}

void TJobProgress::FinishIndex(Clock::time_point now) {
  if (state_.index.empty()) return;
  indexWorkDone_ += currentIndexWork_;
  indexSecondsDone_ += std::chrono::duration<double>(now - indexStart_).count();
  currentIndexWork_ = 0;
}

void TJobProgress::Reset() {
  std::lock_guard<std::mutex> guard(mutex_);
  static_cast<detail::TJobProgressFacts&>(*this) = detail::TJobProgressFacts{};
}

void TJobProgress::Take(JobStage stage, const std::string& rawLine, Clock::time_point now) {
  const std::string line = Bare(rawLine);
  std::lock_guard<std::mutex> guard(mutex_);
  if (stage != state_.stage) {
    FinishTable();
    state_ = TJobProgressState{};
    state_.stage = stage;
    state_.recordsTotal = backupRecords_;
    state_.indexesTotal = backupIndexes_;
    dataStarted_ = false;
    indexWorkTotal_ = 0;
    for (const auto& entry : indexTable_) indexWorkTotal_ += IndexWork(entry.first);
    indexWorkTotal_ += kIndexCostFixed * static_cast<double>(pendingIndexes_.size());
  }

  if (stage == JobStage::Backup) {
    // The backup lists every table ("writing table X") before it writes any data,
    // then writes each one's data ("writing data for table X", then "N records
    // written" every so many records and at the end), each after its indices.
    if (auto count = Count(line, "records written")) {
      if (tableOpen_) state_.tableRecords = *count;
      return;
    }
    if (StartsWith(line, kBackupIndex)) {
      pendingIndexes_.push_back(After(line, kBackupIndex));
      ++backupIndexes_;
    }
    if (StartsWith(line, kBackupData)) {
      FinishTable();
      state_.table = After(line, kBackupData);
      state_.tableRecords = 0;
      tableOpen_ = true;
      for (const std::string& index : pendingIndexes_) indexTable_[index] = state_.table;
      pendingIndexes_.clear();
      state_.tablesTotal = listedTables_;  // the list is complete
      dataStarted_ = true;
      return;
    }
    if (!dataStarted_ && StartsWith(line, "writing table ")) ++listedTables_;
    if (!dataStarted_ && !StartsWith(line, "closing file")) return;
    state_.tablesTotal = std::max(state_.tablesTotal, listedTables_);
    FinishTable();
    if (!state_.dataDone && !StartsWith(line, kBackupIndex)) {
      // Past the data: a table listed but without data of its own (a temporary
      // one) is done as well.
      state_.dataDone = true;
      state_.tablesTotal = state_.tablesDone = std::max(state_.tablesDone, state_.tablesTotal);
    }
    return;
  }

  // The restore reads each table's data back ("restoring data for table X", then
  // "N records restored"), then builds the indices it had to defer, each announced
  // as it starts.
  if (auto count = Count(line, "records restored")) {
    if (!tableOpen_) return;
    state_.tableRecords = *count;
    state_.recordsDone = restoredBefore_ + *count;
    state_.recordsTotal = std::max(state_.recordsTotal, state_.recordsDone);
    lastCount_ = now;
    return;
  }
  if (StartsWith(line, kRestoreData)) {
    FinishTable();
    state_.table = After(line, kRestoreData);
    state_.tableRecords = 0;
    tableOpen_ = true;
    if (!dataStarted_) dataStart_ = now;
    dataStarted_ = true;
    return;
  }
  FinishTable();
  if (!state_.dataDone && (line == "creating indexes" || StartsWith(line, kDeferredIndex) ||
                           StartsWith(line, "finishing, closing"))) {
    state_.dataDone = true;
    state_.recordsDone = state_.recordsTotal = std::max(restoredBefore_, state_.recordsTotal);
    indexStart_ = now;
    if (dataStarted_ && state_.recordsDone > 0)
      secondsPerRecord_ = std::chrono::duration<double>(now - dataStart_).count() /
                          static_cast<double>(state_.recordsDone);
  }
  if (StartsWith(line, kDeferredIndex)) {
    FinishIndex(now);
    state_.index = After(line, kDeferredIndex);
    ++state_.indexNumber;
    state_.indexesTotal = std::max(state_.indexesTotal, state_.indexNumber);
    currentIndexWork_ = IndexWork(state_.index);
    indexStart_ = now;
  }
  if (StartsWith(line, "finishing, closing") && !finished_) {
    FinishIndex(now);
    finished_ = true;
    finishTime_ = now;
  }
}

std::optional<double> TJobProgress::SecondsLeft(Clock::time_point now) const {
  if (state_.stage != JobStage::Restore || !dataStarted_) return std::nullopt;
  auto since = [now](Clock::time_point then) {
    return std::max(0.0, std::chrono::duration<double>(now - then).count());
  };
  if (finished_) return std::max(0.0, kSecondsAfterServer - since(finishTime_));
  if (!state_.dataDone) {
    // The pace as of the last count, counted down from there.
    double seconds = std::chrono::duration<double>(lastCount_ - dataStart_).count();
    if (seconds < kSecondsBeforeEstimate || state_.recordsDone <= 0 ||
        state_.recordsDone < kShareBeforeEstimate * static_cast<double>(state_.recordsTotal))
      return std::nullopt;
    double perRecord = seconds / static_cast<double>(state_.recordsDone);
    double data = static_cast<double>(state_.recordsTotal - state_.recordsDone) * perRecord;
    return std::max(0.0, data - since(lastCount_)) +
           indexWorkTotal_ * kIndexCostPerRecord * perRecord + kSecondsAfterServer;
  }
  if (secondsPerRecord_ <= 0) return std::nullopt;
  double perWork = secondsPerRecord_ * kIndexCostPerRecord;
  // The first indices are mostly the cheap ones (primary keys); the pace they set
  // only counts where it is slower than the one foreseen.
  if (indexWorkDone_ > 0) perWork = std::max(perWork, indexSecondsDone_ / indexWorkDone_);
  double ran = since(indexStart_);
  double current = std::max(currentIndexWork_ * perWork - ran, ran / 2);
  double rest = std::max(0.0, indexWorkTotal_ - indexWorkDone_ - currentIndexWork_) * perWork;
  return current + rest + kSecondsAfterServer;
}

TJobProgressState TJobProgress::State(Clock::time_point now) const {
  std::lock_guard<std::mutex> guard(mutex_);
  TJobProgressState state = state_;
  state.secondsLeft = SecondsLeft(now);
  return state;
}

std::vector<std::string> TJobProgress::Describe(const TJobProgressState& state) {
  std::vector<std::string> rows;
  if (state.stage == JobStage::Backup) {
    if (!state.table.empty())
      rows.push_back("Таблица " + state.table + ": записано " + GroupDigits(state.tableRecords));
    if (state.tablesTotal > 0 && (!state.table.empty() || state.tablesDone > 0 || state.dataDone))
      rows.push_back("Сохранено таблиц: " + std::to_string(state.tablesDone) + " из " +
                     std::to_string(state.tablesTotal));
    return rows;
  }
  if (state.table.empty() && !state.dataDone) return rows;  // the data has not started
  if (!state.dataDone) {
    rows.push_back("Таблица " + state.table + ": прочитано " + GroupDigits(state.tableRecords));
  } else if (state.indexesTotal > 0) {
    std::string row = "Создание индексов: " + std::to_string(state.indexNumber) + " из " +
                      std::to_string(state.indexesTotal);
    if (!state.index.empty()) row += " — " + state.index;
    rows.push_back(row);
  } else {
    rows.push_back("Все записи прочитаны");
  }
  if (state.recordsTotal > 0)
    rows.push_back("Записи: " + GroupDigits(state.recordsDone) + " из " +
                   GroupDigits(state.recordsTotal) + " (" +
                   std::to_string(state.recordsDone * 100 / state.recordsTotal) + " %)");
  rows.push_back("Осталось времени: " +
                 (state.secondsLeft ? "~" + ApproximateDuration(std::max(1.0, *state.secondsLeft))
                                    : std::string("оценивается")));
  return rows;
}

TJobProgressFeed::TJobProgressFeed(TJobProgress& progress) {
  progress.Reset();
  SetJobOutputObserver(
      [&progress](JobStage stage, const std::string& line) { progress.Take(stage, line); });
}

TJobProgressFeed::~TJobProgressFeed() { SetJobOutputObserver(nullptr); }

std::string GroupDigits(std::int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return value < 0 ? "-" + out : out;
}

std::string ApproximateDuration(double seconds) {
  long long total = std::llround(std::max(0.0, seconds));
  auto two = [](long long n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  if (total < 60) return std::to_string(total) + " с";
  if (total < 3600) return std::to_string(total / 60) + " мин " + two(total % 60) + " с";
  return std::to_string(total / 3600) + " ч " + two(total % 3600 / 60) + " мин";
}
