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
  if (state_.table.empty()) return;
  if (state_.stage == JobStage::Backup) {
    backupRecords_ += state_.tableRecords;
    ++state_.tablesDone;
  } else {
    restoredBefore_ += state_.tableRecords;
  }
  state_.table.clear();
  state_.tableRecords = 0;
}

void TJobProgress::Take(JobStage stage, const std::string& rawLine, Clock::time_point now) {
  const std::string line = Bare(rawLine);
  std::lock_guard<std::mutex> guard(mutex_);
  if (stage != state_.stage) {
    FinishTable();
    state_ = TJobProgressState{};
    state_.stage = stage;
    state_.recordsTotal = backupRecords_;
    dataStarted_ = false;
  }

  if (stage == JobStage::Backup) {
    // The backup lists every table ("writing table X") before it writes any data,
    // then writes each one's data ("writing data for table X", then "N records
    // written" every so many records and at the end), each after its indices.
    if (auto count = Count(line, "records written")) {
      if (!state_.table.empty()) state_.tableRecords = *count;
      return;
    }
    if (StartsWith(line, kBackupData)) {
      FinishTable();
      state_.table = After(line, kBackupData);
      state_.tablesTotal = listedTables_;  // the list is complete
      dataStarted_ = true;
      return;
    }
    if (!dataStarted_ && StartsWith(line, "writing table ")) ++listedTables_;
    if (!dataStarted_ && !StartsWith(line, "closing file")) return;
    state_.tablesTotal = std::max(state_.tablesTotal, listedTables_);
    FinishTable();
    if (!state_.dataDone && !StartsWith(line, "writing index ")) {
      // Past the data: a table listed but without data of its own (a temporary
      // one) is done as well.
      state_.dataDone = true;
      state_.tablesTotal = state_.tablesDone = std::max(state_.tablesDone, state_.tablesTotal);
    }
    return;
  }

  // The restore reads each table's data back ("restoring data for table X", then
  // "N records restored"), then builds the indices it had to defer.
  if (auto count = Count(line, "records restored")) {
    if (state_.table.empty()) return;
    state_.tableRecords = *count;
    state_.recordsDone = restoredBefore_ + *count;
    state_.recordsTotal = std::max(state_.recordsTotal, state_.recordsDone);
    double seconds = std::chrono::duration<double>(now - dataStart_).count();
    if (seconds >= 2 && state_.recordsDone > 0) {
      double rate = state_.recordsDone / seconds;
      state_.secondsLeft = (state_.recordsTotal - state_.recordsDone) / rate;
    }
    return;
  }
  if (StartsWith(line, kRestoreData)) {
    FinishTable();
    state_.table = After(line, kRestoreData);
    if (!dataStarted_) dataStart_ = now;
    dataStarted_ = true;
    return;
  }
  FinishTable();
  if (StartsWith(line, kDeferredIndex)) state_.index = After(line, kDeferredIndex);
  if (!state_.dataDone && (line == "creating indexes" || StartsWith(line, kDeferredIndex) ||
                           StartsWith(line, "finishing, closing"))) {
    state_.dataDone = true;
    state_.recordsDone = state_.recordsTotal = std::max(restoredBefore_, state_.recordsTotal);
    state_.secondsLeft.reset();
  }
}

TJobProgressState TJobProgress::State() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return state_;
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
  if (!state.index.empty()) {
    rows.push_back("Создание индекса " + state.index);
  } else if (!state.table.empty()) {
    rows.push_back("Таблица " + state.table + ": прочитано " + GroupDigits(state.tableRecords));
  }
  if (state.recordsTotal > 0 && (!state.table.empty() || state.recordsDone > 0 || state.dataDone)) {
    std::string row = "Записи: " + GroupDigits(state.recordsDone) + " из " +
                      GroupDigits(state.recordsTotal) + " (" +
                      std::to_string(state.recordsDone * 100 / state.recordsTotal) + " %)";
    if (state.secondsLeft) row += ", ещё ~" + ApproximateDuration(*state.secondsLeft);
    rows.push_back(row);
  }
  return rows;
}

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
