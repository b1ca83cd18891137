#include "logger/QLXLogger.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "logger/LazyWriter.h"
#include "platform/Encoding.h"
#include "platform/FileOps.h"
#include "platform/NamedLock.h"
#include "platform/Process.h"
#include "support/Exceptions.h"

TQLXLogger* ErrorJournal = nullptr;
std::atomic<int> LockWaitMs{LockWaitTimeout};

namespace {

constexpr int kOpenRetryMs = 10;
const char* const kErrorJournalName = "QLXLoggerErrorsWriter.log";
const char* const kFailedEntryPrefix = "<Ошибка при записи в лог>";

// Removes every leading and trailing character of code 32 or less.
std::string TrimControl(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

// Lower case of one Windows-1251 byte (Latin and Cyrillic letters).
unsigned char LowerCp1251(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDF) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x80: return 0x90;  // Ђ
    case 0x81: return 0x83;  // Ѓ
    case 0x8A: return 0x9A;  // Љ
    case 0x8C: return 0x9C;  // Њ
    case 0x8D: return 0x9D;  // Ќ
    case 0x8E: return 0x9E;  // Ћ
    case 0x8F: return 0x9F;  // Џ
    case 0xA1: return 0xA2;  // Ў
    case 0xA3: return 0xBC;  // Ј
    case 0xA5: return 0xB4;  // Ґ
    case 0xA8: return 0xB8;  // Ё
    case 0xAA: return 0xBA;  // Є
    case 0xAF: return 0xBF;  // Ї
    case 0xB2: return 0xB3;  // І
    case 0xBD: return 0xBE;  // Ѕ
    default: return c;
  }
}

// Holds a logger's cross-process lock for one write, if it comes before the deadline.
class NamedLockHold {
 public:
  NamedLockHold(platform::NamedLock* lock, std::chrono::steady_clock::time_point deadline) {
    if (lock == nullptr) return;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (lock->Acquire(static_cast<int>(std::max<long long>(0, left.count())))) lock_ = lock;
    else timedOut_ = true;
  }
  ~NamedLockHold() {
    if (lock_) lock_->Release();
  }
  NamedLockHold(const NamedLockHold&) = delete;
  NamedLockHold& operator=(const NamedLockHold&) = delete;
  bool TimedOut() const { return timedOut_; }

 private:
  platform::NamedLock* lock_ = nullptr;
  bool timedOut_ = false;
};

std::unique_ptr<platform::NamedLock> CreateLogMutex(const std::string& path) {
  platform::NamedLockError error;
  std::unique_ptr<platform::NamedLock> lock =
      platform::NamedLock::Open(MutexNameFor(path), LockFileFor(path), error);
  if (lock) return lock;
  if (error.step != "Create")
    throw Exception(FormatText("Error %s: %s", {error.step, platform::SystemErrorText(error.code)}));
  if (RaiseMutexErrors)
    throw Exception(FormatText("Ошибка при создании объекта \"мьютекс\": %s",
                               {platform::SystemErrorText(error.code)}));
  return nullptr;  // the logger goes on without the cross-process lock
}

}  // namespace

std::string ToLogBytes(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return platform::Utf8ToCp1251(text);
  return text;  // plain ASCII is the same in both
}

void AppendLogBytes(std::string& out, const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) {
      out += platform::Utf8ToCp1251(text);
      return;
    }
  out += text;
}

std::uint32_t CallingThreadId() {
  thread_local const std::uint32_t id = platform::CurrentThreadId();
  return id;
}

std::string MutexNameFor(const std::string& path) {
  std::string bytes = platform::Utf8ToCp1251(path);
  for (char& c : bytes) {
    c = static_cast<char>(LowerCp1251(static_cast<unsigned char>(c)));
    switch (c) {
      case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
        c = '_';
        break;
      default:
        break;
    }
  }
  return platform::Cp1251ToUtf8(bytes);
}

std::string LockFileFor(const std::string& path) { return path + ".lock"; }

platform::File OpenLogFile(const std::string& path, platform::FileOpenMode mode, int timeoutMs) {
  if (timeoutMs < 0) timeoutMs = FileOpenTimeout;
  if (timeoutMs == 0) return platform::File::Open(path, mode);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    platform::ErrorCode code = 0;
    std::optional<platform::File> file =
        platform::File::TryOpen(path, mode, platform::FileShare::kDenyNone, code);
    if (file) return std::move(*file);
    if (!platform::IsSharingViolation(code)) RaiseOSError(code);
    if (std::chrono::steady_clock::now() >= deadline)
      throw Exception(FormatText("Log file open timeout: %d ms (%s)",
                                 {timeoutMs, platform::SystemErrorText(code)}));
    std::this_thread::sleep_for(std::chrono::milliseconds(kOpenRetryMs));
  }
}

TQLXLogger::TQLXLogger(const std::string& fileName) { SetFileName(fileName); }

TQLXLogger::~TQLXLogger() {
  WaitUntilWritten(this);
  SetUseMutex(false);
}

std::string TQLXLogger::FileName() const {
  std::lock_guard<std::mutex> lock(nameLock_);
  return fileName_;
}

bool TQLXLogger::UseMutex() const {
  std::lock_guard<std::recursive_timed_mutex> lock(fileLock_);
  return useMutex_;
}

void TQLXLogger::SetFileName(const std::string& name) {
  std::lock_guard<std::recursive_timed_mutex> lock(fileLock_);
  if (name.empty()) return;
  std::string full = name;
  if (platform::ExtractFilePath(full).empty()) full = platform::ExecutableDir() + full;
  // The same file as the file system names it: any case on Windows, exactly on POSIX.
  if ((mutex_ || !useMutex_) && platform::FileNameKey(full) == platform::FileNameKey(fileName_))
    return;
  mutex_.reset();
  {
    std::lock_guard<std::mutex> nameLock(nameLock_);
    fileName_ = full;
  }
  lockMissingTold_ = false;
  if (useMutex_) mutex_ = CreateLogMutex(fileName_);
}

// A lock that could not be made before (its directory missing, say) is tried again
// at each write.
void TQLXLogger::OpenCrossProcessLock() {
  if (!useMutex_ || mutex_) return;
  try {
    mutex_ = CreateLogMutex(fileName_);
  } catch (...) {
    // The write goes on without it, and the journal is told.
  }
}

void TQLXLogger::SetUseMutex(bool value) {
  std::lock_guard<std::recursive_timed_mutex> lock(fileLock_);
  useMutex_ = value;
  if (!value) mutex_.reset();
}

std::vector<std::string> TQLXLogger::RecentLines() const {
  std::lock_guard<std::mutex> lock(recentLock_);
  return std::vector<std::string>(recentLines_.begin(), recentLines_.end());
}

int TQLXLogger::PendingCount() const {
  std::lock_guard<std::mutex> lock(QueueLock());
  return pendingCount_;
}

std::string TQLXLogger::FormatLine(const std::string& text, TLogLevel level,
                                   std::uint32_t threadId, TDateTime time) const {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  if (begin == end) return std::string();
  if (level > kMaxLogLevel) level = kMaxLogLevel;
  std::string line;
  line.reserve(48 + SourceName.size() + (end - begin));
  if (ShowLevelMark) {
    line += LevelMarks[level];
    line += ' ';
  }
  AppendDateTime(line, DateTimeFormat, time, LogFormatSettings);
  if (ShowLevelName) line += LevelNames[level];
  if (!SourceName.empty()) {
    line += ' ';
    line += SourceName;
  }
  if (ShowProcessId || ShowThreadId) {
    unsigned long pid = platform::CurrentProcessId();
    unsigned long tid = threadId;
    if (ShowProcessId && ShowThreadId) line += FormatText(" <P:%d;T:%d>", {pid, tid});
    else if (ShowProcessId) line += FormatText(" <P:%d>", {pid});
    else line += FormatText(" <T:%d>", {tid});
  }
  line += ' ';
  line.append(text, begin, end - begin);
  return line;
}

void TQLXLogger::Log(const std::string& text, TLogLevel level, TDateTime time) {
  if (!Active || level > kMaxLogLevel) return;
  // The writer thread itself writes at once, so it never waits for its own queue.
  // Once deferred writing has ended, Enqueue refuses, after the writer's last pass.
  if (Deferred && !OnWriterThread()) {
    // A disabled level is not queued at all (the batches are not filtered again).
    if (!(EnabledLevels & (1u << level))) return;
    if (Enqueue(this, level, time, text)) return;
  }
  WriteEntry(text, level, CallingThreadId(), Now());
}

void Log(TQLXLogger* logger, const std::string& text, TLogLevel level, TDateTime time) {
  if (logger != nullptr) logger->Log(text, level, time);
}

void TQLXLogger::LogFmt(const std::string& format, std::initializer_list<LogArg> args,
                        TLogLevel level) {
  std::string text;
  try {
    text = FormatText(format, args);
  } catch (const Exception& e) {
    throw Exception("Error args for string [" + format + "]: " + e.Message());
  }
  Log(text, level, 0);
}

void TQLXLogger::WriteEntry(const std::string& text, TLogLevel level, std::uint32_t threadId,
                            TDateTime time, const std::string* batch) {
  if (!Active) return;
  // A batch was filtered by level when its messages were queued; testing it again as
  // level 0 would drop every deferred line of a logger that has level 0 switched off.
  if (batch == nullptr && (level > kMaxLogLevel || !(EnabledLevels & (1u << level)))) return;
  // Both locks are waited for together for at most LockWaitMs: a writer that holds
  // them for ever (another process, another user) costs this entry, not the program.
  const int waitMs = LockWaitMs.load();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  std::unique_lock<std::recursive_timed_mutex> fileLock(fileLock_, std::defer_lock);
  // By the wall clock: the steady-clock wait (pthread_mutex_clocklock) is one that the
  // thread sanitizer does not know, and a clock step only shifts this one bound.
  const bool inProcess = fileLock.try_lock_until(std::chrono::system_clock::now() +
                                                 std::chrono::milliseconds(waitMs));
  const std::string fileName = inProcess ? fileName_ : FileName();
  if (fileName.empty()) return;
  if (inProcess) OpenCrossProcessLock();
  NamedLockHold crossProcess(inProcess ? mutex_.get() : nullptr, deadline);
  const bool withoutLock = inProcess && useMutex_ && !mutex_;

  std::string line, formatted, trace, failure, failureKind;
  // A batch is written as it is; its text form is made only when somebody reads it.
  const std::string& data = batch != nullptr ? *batch : formatted;
  try {
    if (batch == nullptr) {
      line = FormatLine(text, level, threadId, time);
      formatted = ToLogBytes(line) + "\r\n";
    }
    if (!inProcess || crossProcess.TimedOut()) {
      trace = "Lock";
      throw Exception(FormatText("Log lock timeout: %d ms", {waitMs}));
    }
    bool exists = platform::FileExists(fileName);
    trace = exists ? "fmOpenReadWrite" : "fmCreate";
    // Appends: each entry is one write at the end, even by a writer without the lock.
    platform::File file =
        OpenLogFile(fileName,
                    IsErrorJournal ? platform::FileOpenMode::kAppendPrivate
                    : exists       ? platform::FileOpenMode::kAppend
                                   : platform::FileOpenMode::kAppendCreate,
                    FileOpenTimeout);
    trace += "-OK";
    file.SeekToEnd();
    file.Write(data.data(), data.size());
    trace += ";ProcessFile...";
    std::int64_t size = file.Size();
    if (MaxSize > 0 && size > MaxSize + MaxSize / 3) TrimBySize(file);
    else TrimByAge(file);
  } catch (const Exception& e) {
    failure = e.Message();
    failureKind = e.ClassName();
  } catch (const std::bad_alloc&) {
    failure = "Out of memory";
    failureKind = "EOutOfMemory";
  } catch (const std::exception& e) {
    failure = e.what();
    failureKind = "Exception";
  } catch (...) {
    failure = "Unknown failure";
    failureKind = "Exception";
  }

  if (withoutLock && failureKind.empty() && !lockMissingTold_ && !IsErrorJournal &&
      ErrorJournal != nullptr && ErrorJournal != this) {
    lockMissingTold_ = true;
    try {
      ErrorJournal->LogFmt("Лог \"%0:s\" пишется без межпроцессной блокировки (%1:s)",
                           {fileName, LockFileFor(fileName)}, llPlain);
    } catch (...) {
    }
  }
  if (!failureKind.empty()) {
    if (!IsErrorJournal && ErrorJournal != nullptr && ErrorJournal != this) {
      try {
        ErrorJournal->LogFmt(
            "Ошибка при попытке записи (%0:s) в лог \"%1:s\" строки [%2:s]: %3:s <%4:s>",
            {trace, fileName, TrimControl(platform::Cp1251ToUtf8(data)), failure, failureKind},
            llPlain);
      } catch (...) {
        // The journal's own failures are reported nowhere.
      }
    }
  }
  if (!failureKind.empty() || (NotifyWindow != 0 && NotifyMessage != 0)) {
    if (batch != nullptr) line = platform::Cp1251ToUtf8(*batch);
    if (!failureKind.empty()) line = std::string(kFailedEntryPrefix) + " " + line;
  }

  if (NotifyWindow != 0 && NotifyMessage != 0) {
    std::lock_guard<std::mutex> lock(recentLock_);
    recentLines_.push_back(line);
    while (!recentLines_.empty() &&
           static_cast<long long>(recentLines_.size()) > static_cast<long long>(MaxRecentLines))
      recentLines_.pop_front();
    platform::PostWindowMessage(NotifyWindow, NotifyMessage);
  }
}

void QLXLoggerStartup() {
  if (ErrorJournal != nullptr) return;  // started already
  LevelNames = {"", " [инфо]", " [ошиб]", " [сбой]", " [вним]", " [соб.]", " [отл.]", " [друг]"};
  ErrorJournal = new TQLXLogger(platform::PrivateTempDirectory() + kErrorJournalName);
  ErrorJournal->TruncateInPlace = true;
  ErrorJournal->IsErrorJournal = true;
  LogFormatSettings = TFormatSettings();
  LogFormatSettings.ShortDateFormat = LogFormatSettings.LongDateFormat = "dd/mm/yyyy";
  LogFormatSettings.ShortTimeFormat = LogFormatSettings.LongTimeFormat = "hh:nn:ss.zzz";
  LogFormatSettings.DateSeparator = '.';
  LogFormatSettings.TimeSeparator = ':';
  LogFormatSettings.DecimalSeparator = '.';
  DeferredDisabled = false;
}

void QLXLoggerShutdown(bool inLibrary) {
  if (ErrorJournal == nullptr) return;  // not started
  StopWriter(inLibrary);
  delete ErrorJournal;
  ErrorJournal = nullptr;
  for (std::string& name : LevelNames) name.clear();
}
